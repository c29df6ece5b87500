#include "builder/archive.h"

#include "archive/corrupt.h"
#include "archive/file_data.h"
#include "archive/header.h"
#include "archive/section.h"
#include "archive/volumes.h"
#include "builder/codec_bridge.h"
#include "builder/icon.h"
#include "builder/platform.h"
#include "builder/text.h"
#include "core/byte_stream.h"
#include "core/checksum.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace velt {

namespace fs = std::filesystem;

namespace {

uint32_t SumOf(std::span<const uint8_t> bytes)
{
    return Checksum(bytes.data(), (int32_t)bytes.size());
}

// The build's date: SOURCE_DATE_EPOCH when set, else the newest input.
int64_t BuildEpoch(const Project& project, std::optional<int64_t>& clamp)
{
    if (const char* env = std::getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        long long value = std::strtoll(env, &end, 10);
        if (!*env || *end || value < 0)
            throw ProjectError("SOURCE_DATE_EPOCH must be a number of seconds");
        clamp = value;
        return value;
    }
    int64_t newest = 0;
    for (const fs::path& input : project.inputs)
        newest = std::max(newest, FileModifiedTime(input).value_or(0));
    return newest;
}

// Writes `bytes` to a temporary name beside `path`; RenameAll moves it.
struct PendingFile {
    fs::path temp, final;
};

PendingFile WriteTemp(const fs::path& path, std::span<const uint8_t> bytes)
{
    PendingFile f{path, path};
    f.temp += ".part";
    std::ofstream out(f.temp, std::ios::binary | std::ios::trunc);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
    out.close();
    if (!out) {
        std::error_code ec;
        fs::remove(f.temp, ec);
        throw ProjectError(path.string() + ": cannot write the file");
    }
    return f;
}

// The stub's headers, when it is a stub this builder can pack: an x86 or
// x64 Windows program, of the architecture asked for.
PeHeaders CheckStub(const Bytes& stubImage, std::optional<Arch> wanted)
{
    std::string error;
    std::optional<PeHeaders> pe = ParsePe(stubImage, error);
    if (!pe)
        throw ProjectError("the stub: " + error);
    std::optional<Arch> arch = StubArch(*pe);
    if (!arch)
        throw ProjectError("the stub is " + MachineText(*pe)
                           + "; a stub is an x86 (PE32) or x64 (PE32+) Windows program");
    if (wanted && *arch != *wanted)
        throw ProjectError(std::string("the stub is ") + MachineText(*pe) + ", but an "
                           + ArchName(*wanted) + " installer was asked for");
    return *pe;
}

// Volume `number` beside `installer`.
fs::path VolumePath(const fs::path& installer, const std::string& base, int number)
{
    String name = ::VolumeFileName(base.c_str(), number);
    return installer.parent_path() / PathFromUtf8(Cp1252ToUtf8(name.CStr()));
}

} // namespace

Bytes WriteFileRecords(const std::vector<FileRecord>& records)
{
    ByteWriter w;
    for (const FileRecord& r : records) {
        FileRecordFields fields;
        fields.name = r.name.c_str();
        fields.kind = r.kind;
        fields.flags = r.flags;
        fields.data = r.data.data();
        fields.size = (int32_t)r.data.size();
        fields.checksum = r.checksum;
        fields.time = r.time;
        fields.text = r.text.c_str();
        fields.icon = r.icon.c_str();
        WriteFileRecord(w, fields);
    }
    return std::move(w.Out());
}

namespace {

// An installer in the making: what each stage of BuildInstaller leaves for
// the stages after it.
struct InstallerBuild {
    const Project& project;
    const Bytes& stubImage;
    const BuildOptions& options;
    BuildResult result{};                         // the description, the records, the files written
    PeHeaders stubPe{};
    int64_t epoch = 0;                            // the build's date
    std::optional<int64_t> clamp{};               // no file time lies after this one
    Bytes block{};                                // the file-data block, packed when compressed
    Bytes image{};                                // the stub, then the whole installer
    Bytes packedDescription{};
    uint32_t descriptionKey = 0;
    uint64_t inSection = 0;                       // file-data bytes the installer itself holds
};

void CheckTheStub(InstallerBuild& b)
{
    b.stubPe = CheckStub(b.stubImage, b.options.arch);
}

void DateTheBuild(InstallerBuild& b)
{
    Description& d = b.result.description;
    b.epoch = BuildEpoch(b.project, b.clamp);
    d.archiveDate = LocalDateTime(b.epoch);
    d.buildDay = (uint8_t)d.archiveDate.day;
    d.buildMonth = (uint8_t)d.archiveDate.month;
    d.buildYear = (int16_t)d.archiveDate.year;
}

// A record for each file, with its bytes, checksum and time.
void ReadTheFiles(InstallerBuild& b)
{
    for (const ProjectFile& f : b.project.files) {
        FileRecord r = f.record;
        r.data = ReadWholeFile(f.source);
        if (r.data.size() > (size_t)INT32_MAX)
            throw ProjectError(f.source.string() + ": the file is larger than 2 GiB");
        r.checksum = SumOf(r.data);
        int64_t mtime = FileModifiedTime(f.source).value_or(b.epoch);
        if (b.clamp && mtime > *b.clamp)
            mtime = *b.clamp;
        r.time = LocalDateTime(mtime);
        b.result.description.storedSizes.push_back((int32_t)r.data.size());
        b.result.records.push_back(std::move(r));
    }
}

// The records as one block; the stub holds the whole block in one String.
void PackTheFileData(InstallerBuild& b)
{
    Description& d = b.result.description;
    Bytes records = WriteFileRecords(b.result.records);
    if (records.size() >= (size_t)String::MaxLength)
        throw ProjectError("the files come to " + std::to_string(records.size())
                           + " bytes with their records; an installer holds less than 1 GiB");
    b.block = (d.productFlags & PfCompressed) ? Pack(records, b.options.level, b.options.progress) : records;
    if (b.block.size() >= (size_t)String::MaxLength)
        throw ProjectError("the file data comes to more than 1 GiB");
    d.payloadSize = (int32_t)b.block.size();
    d.payloadChecksum = SumOf(b.block);
}

// The project's icon replaces the stub's own image in place.
void PlaceTheIcon(InstallerBuild& b)
{
    b.image = b.stubImage;
    if (!b.project.icon)
        return;
    int64_t offset = FindStubIcon(b.stubImage);
    if (offset < 0)
        throw ProjectError("the stub has no 32x32 256-colour icon image to replace");
    if (offset > kMaxIconOffset)
        throw ProjectError("the stub's icon lies beyond file offset 999998");
    b.result.description.iconOffset = (int32_t)offset;
    b.result.description.uninstallerIcon = *b.project.icon;
    std::copy(b.project.icon->begin(), b.project.icon->end(), b.image.begin() + offset);
}

// The finished description, checked, packed and scrambled with its own sum.
void SealTheDescription(InstallerBuild& b)
{
    if (std::string problem = CheckDescription(b.result.description); !problem.empty())
        throw ProjectError(b.project.path.string() + ": " + problem);
    Bytes description = WriteDescription(b.result.description);
    b.descriptionKey = SumOf(description);
    b.packedDescription = Pack(description, PackLevel::Best);
    ScrambleBytes(b.packedDescription, b.descriptionKey);
}

// How much file data the installer itself holds: all of it, or what a
// volume's size leaves after the stub, the header and the description.
void ShareOutTheFileData(InstallerBuild& b)
{
    b.inSection = b.block.size();
    if (b.options.volumeSize <= 0)
        return;
    uint64_t fixed = kArchiveHeaderSize + b.packedDescription.size();
    uint64_t rawOffset = (b.stubImage.size() + b.stubPe.fileAlignment - 1) / b.stubPe.fileAlignment
                       * b.stubPe.fileAlignment;
    uint64_t room = b.options.volumeSize > (int64_t)rawOffset
                  ? (b.options.volumeSize - rawOffset) / b.stubPe.sectionAlignment * b.stubPe.sectionAlignment
                  : 0;
    if (room < fixed)
        throw ProjectError("a volume size of " + std::to_string(b.options.volumeSize)
                           + " bytes cannot hold the installer's own part (at least "
                           + std::to_string(rawOffset + fixed) + " bytes)");
    b.inSection = std::min<uint64_t>(b.inSection, room - fixed);
}

// The archive section: header, description and the installer's share of
// the file data, appended to the stub.
void AppendTheArchive(InstallerBuild& b)
{
    ByteWriter archive;
    archive.Int(kArchiveMagic);
    archive.Int((uint32_t)kArchiveVersion);
    archive.Int((uint32_t)b.packedDescription.size());
    archive.Int(b.descriptionKey);
    archive.Int(0);                                  // stub checksum, set below
    archive.Int((uint32_t)(kArchiveHeaderSize + b.packedDescription.size() + b.inSection));
    archive.Raw(b.packedDescription);
    archive.Raw(std::span<const uint8_t>(b.block).first(b.inSection));

    std::string error;
    std::optional<AppendedSection> placed = AppendArchiveSection(b.image, archive.Out(), error);
    if (!placed)
        throw ProjectError("the stub: " + error);
    // Computed last, over the finished headers, with the fields that signing
    // rewrites taken as zero: a signed installer still matches it.
    Store32(b.image.data() + placed->rawOffset + 16,
            SignableStubChecksum(b.image.data(), (int32_t)placed->rawOffset, Load32(b.image.data() + 0x3C)));
}

// The installer, then the volumes with the rest of the file data: written
// to temporary names and renamed when all are written, else removed.
void WriteTheFiles(InstallerBuild& b)
{
    std::vector<PendingFile> pending;
    auto discard = [&] {
        std::error_code ec;
        for (const PendingFile& f : pending)
            fs::remove(f.temp, ec);
    };
    try {
        pending.push_back(WriteTemp(b.options.output, b.image));
        int number = kFirstVolumeNumber;
        for (uint64_t at = b.inSection; at < b.block.size(); number++) {
            uint64_t n = std::min<uint64_t>(b.block.size() - at, (uint64_t)b.options.volumeSize);
            fs::path volume = VolumePath(b.options.output, b.result.description.volumeBaseName, number);
            pending.push_back(WriteTemp(volume, std::span<const uint8_t>(b.block).subspan(at, n)));
            at += n;
        }
        for (const PendingFile& f : pending) {
            fs::rename(f.temp, f.final);
            b.result.written.push_back(f.final);
        }
    } catch (const fs::filesystem_error& e) {
        discard();
        throw ProjectError(std::string("cannot write the installer: ") + e.what());
    } catch (...) {
        discard();
        throw;
    }
}

// The stages of a build, in order; each throws ProjectError to stop it.
void (*const kBuildStages[])(InstallerBuild&) = {
    CheckTheStub, DateTheBuild, ReadTheFiles, PackTheFileData, PlaceTheIcon,
    SealTheDescription, ShareOutTheFileData, AppendTheArchive, WriteTheFiles,
};

} // namespace

BuildResult BuildInstaller(const Project& project, const Bytes& stubImage, const BuildOptions& options)
{
    InstallerBuild build{project, stubImage, options};
    build.result.description = project.description;   // the stages fill in the rest
    for (auto stage : kBuildStages)
        stage(build);
    return std::move(build.result);
}

namespace {

// The section as the loader maps it (archive/'s reading of the section
// table), and only what the file holds.
int32_t MappedLength(const Bytes& image, const ArchiveSection& section)
{
    int32_t size = (int32_t)std::min<uint64_t>(image.size(), INT32_MAX);
    uint32_t mapped = ::MappedLength(image.data(), size, section.tableOffset, section.sectionCount,
                                     section.virtualAddress, section.rawSize);
    uint64_t held = image.size() - section.rawOffset;
    return (int32_t)std::min<uint64_t>({mapped, held, (uint64_t)INT32_MAX});
}

FileRecord TakeRecord(const FileRecordFields& f)
{
    FileRecord r;
    r.name = f.name;
    r.kind = f.kind;
    r.flags = f.flags;
    if (f.data)
        r.data.assign(f.data, f.data + f.size);
    r.checksum = f.checksum;
    r.time = f.time;
    r.text = f.text;
    r.icon = f.icon;
    return r;
}

// The volume files beside the installer, as verify and inspect read them:
// what the installer would ask for or stop at is a fault with a sentence.
class VolumeFiles : public VolumeReader {
public:
    VolumeFiles(const fs::path& installer, const Description& d, std::vector<int>& read)
        : installer_(installer), d_(d), read_(read) {}

    bool Open(int number, int32_t) override
    {
        number_ = number;
        path_ = VolumePath(installer_, d_.volumeBaseName, number);
        std::error_code ec;
        return fs::is_regular_file(path_, ec);
    }
    int64_t Size() override
    {
        std::error_code ec;
        uintmax_t size = fs::file_size(path_, ec);
        return ec ? -1 : (int64_t)std::min<uintmax_t>(size, INT64_MAX);
    }
    bool Read(void* into, int32_t size) override
    {
        std::ifstream in(path_, std::ios::binary);
        if (!in.read((char*)into, size))
            return false;
        read_.push_back(number_);
        return true;
    }

    // The fault for a finding of JoinVolumes.
    ArchiveFault Fault(int code) const
    {
        std::string volume = path_.string();
        switch (code) {
        case 0:
            return {};
        case kVolumeMissing:
            return {0, "volume " + std::to_string(number_) + " (" + volume
                       + ") is missing; the installer would ask for it"};
        case kVolumeEmpty:
            return {0, "volume " + volume + " is empty: the installer stops"};
        case kCorruptVolumeUnreadable:
            return {code, "volume " + volume + " cannot be read"};
        case kCorruptPayloadLength:
            return {code, "volume " + volume + " holds more than the file data misses"};
        }
        return ArchiveFault::Of(code);
    }

private:
    const fs::path& installer_;
    const Description& d_;
    std::vector<int>& read_;
    int number_ = 0;
    fs::path path_;
};

} // namespace

ArchiveFault ReadInstaller(const fs::path& path, Installer& in)
{
    try {
        in.image = ReadWholeFile(path);
    } catch (const ProjectError& e) {
        return {0, e.what()};
    }
    const Bytes& image = in.image;
    // The PE walk, the installer's own; the full headers only for the
    // architecture that inspect shows.
    std::string error;
    in.pe = ParsePe(image, error);
    ArchiveSection section;
    int32_t fileSize = (int32_t)std::min<uint64_t>(image.size(), INT32_MAX);
    if (int found = FindArchiveSection(image.data(), fileSize, section))
        return ArchiveFault::Of(found);
    in.section = section.index;
    in.rawOffset = section.rawOffset;
    in.rawSize = section.rawSize;
    in.virtualAddress = section.virtualAddress;
    in.peOffset = section.peOffset;
    SignatureFields signature;
    FindSignatureFields(image.data(), fileSize, section.peOffset, signature);
    in.signatureOffset = signature.signatureOffset;
    in.signatureSize = signature.signatureSize;
    // A section that starts past the end of the file cannot be mapped, and
    // the stub's bytes before it cannot be read.
    if (section.rawOffset > image.size())
        return {kCorruptStubUnreadable, "the archive section starts past the end of the file"};
    const uint8_t* mapped = image.data() + section.rawOffset;
    int32_t length = MappedLength(image, section);

    ArchiveHeader header;
    int code = ReadArchiveHeader(mapped, length, header);
    in.magic = header.magic;
    in.version = header.version;
    in.descriptionSize = header.descriptionSize;
    in.descriptionKey = header.descriptionKey;
    in.stubChecksum = header.stubChecksum;
    in.sectionDataSize = header.sectionDataSize;
    if (code == kArchiveVersionMismatch)
        return {0, "the archive is of format version " + std::to_string(in.version) + ", not "
                   + std::to_string(kArchiveVersion) + ": the stub stops with its version message"};
    if (code)
        return ArchiveFault::Of(code);
    ByteStream unpacked;
    if (int unpackCode = UnpackDescription(mapped, header, unpacked))
        return ArchiveFault::Of(unpackCode);
    std::span<const uint8_t> plain((const uint8_t*)unpacked.CStr(), (size_t)unpacked.Length());
    if (ArchiveFault fault = ReadDescription(plain, header.descriptionKey, in.description))
        return fault;
    in.descriptionRead = true;
    const Description& d = in.description;

    // The uninstaller is built from the bytes before the section and those
    // after it.
    if ((d.productFlags & PfChecksums)
        && !StubChecksumMatches(image.data(), (int32_t)section.rawOffset, section.peOffset,
                                header.stubChecksum))
        return ArchiveFault::Of(kCorruptStubChecksum);
    if ((uint64_t)section.rawOffset + section.rawSize > image.size())
        return ArchiveFault::Of(kCorruptTailUnreadable);

    // The file-data block: the section's part, then the volumes.
    int32_t inSection = 0;
    if (int held = FileDataInSection(header, length, inSection))
        return ArchiveFault::Of(held);
    in.sectionPayload = inSection;
    VolumeFiles volumes(path, d, in.volumes);
    String joined;
    const uint8_t* block = nullptr;
    if (int code = AssembleFileDataBlock(mapped + header.dataOffset, inSection, d.payloadSize,
                                         d.payloadChecksum, volumes, joined, block))
        return volumes.Fault(code);
    if (d.productFlags & PfCompressed) {
        String expanded;
        if (int unpacked = ExpandFileData(block, d.payloadSize, expanded))
            return ArchiveFault::Of(unpacked);
        in.payload.assign(expanded.CStr(), expanded.CStr() + expanded.Length());
    } else {
        in.payload.assign(block, block + d.payloadSize);
    }

    // The records, with the checks the installer makes while placing them.
    const uint8_t* cursor = in.payload.data();
    const uint8_t* end = cursor + in.payload.size();
    for (size_t i = 0; i < d.storedSizes.size(); i++) {
        FileRecordFields fields;
        int recordCode = ReadFileRecord(cursor, end, d.storedSizes[i], d.productFlags, fields);
        FileRecord record = TakeRecord(fields);
        std::string which = "file " + std::to_string(i)
                          + (record.name.empty() ? "" : " (" + Cp1252ToUtf8(record.name) + ")");
        if (recordCode == kCorruptFileNameEmpty || recordCode == kCorruptPayloadLength)
            return {recordCode, which + ": " + CorruptCodeText(recordCode)};
        in.recordChecksumOk.push_back(
            Checksum(fields.data, fields.size) == fields.checksum);
        in.records.push_back(std::move(record));
        if (recordCode)
            return {recordCode, which + ": " + CorruptCodeText(recordCode)};
    }
    return {};
}

} // namespace velt
