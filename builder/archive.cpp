#include "builder/archive.h"

#include "builder/codec_bridge.h"
#include "builder/icon.h"
#include "builder/platform.h"
#include "builder/text.h"
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

std::string VolumeFileName(const std::string& base, int number)
{
    return Cp1252ToUtf8(base) + std::to_string(number) + ".VLT";
}

} // namespace

Bytes WriteFileRecords(const std::vector<FileRecord>& records)
{
    ByteWriter w;
    for (const FileRecord& r : records) {
        w.Text(r.name);
        w.Int((uint32_t)r.kind);
        w.Int((uint32_t)r.flags);
        w.Raw(r.data);
        w.Int(r.checksum);
        w.Date(r.time);
        w.Text(r.text);
        if (r.flags & (FfDesktopShortcut | FfProgramsShortcut))
            w.Text(r.icon);
    }
    return std::move(w.Out());
}

BuildResult BuildInstaller(const Project& project, const Bytes& stubImage, const BuildOptions& options)
{
    PeHeaders stubPe = CheckStub(stubImage, options.arch);
    BuildResult result;
    Description& d = result.description;
    d = project.description;

    std::optional<int64_t> clamp;
    int64_t epoch = BuildEpoch(project, clamp);
    d.archiveDate = LocalDateTime(epoch);
    d.buildDay = (uint8_t)d.archiveDate.day;
    d.buildMonth = (uint8_t)d.archiveDate.month;
    d.buildYear = (int16_t)d.archiveDate.year;

    // The file records; the stub holds the whole block in one String.
    uint64_t total = 0;
    for (const ProjectFile& f : project.files) {
        FileRecord r = f.record;
        r.data = ReadWholeFile(f.source);
        if (r.data.size() > (size_t)INT32_MAX)
            throw ProjectError(f.source.string() + ": the file is larger than 2 GiB");
        r.checksum = SumOf(r.data);
        int64_t mtime = FileModifiedTime(f.source).value_or(epoch);
        if (clamp && mtime > *clamp)
            mtime = *clamp;
        r.time = LocalDateTime(mtime);
        total += r.data.size();
        d.storedSizes.push_back((int32_t)r.data.size());
        result.records.push_back(std::move(r));
    }
    Bytes records = WriteFileRecords(result.records);
    if (records.size() >= (size_t)kMaxStubString)
        throw ProjectError("the files come to " + std::to_string(records.size())
                           + " bytes with their records; an installer holds less than 1 GiB");
    Bytes block = (d.productFlags & PfCompressed)
                ? Pack(records, options.level, options.progress)
                : records;
    if (block.size() >= (size_t)kMaxStubString)
        throw ProjectError("the file data comes to more than 1 GiB");
    d.payloadSize = (int32_t)block.size();
    d.payloadChecksum = SumOf(block);

    // The icon: the stub's own image is replaced in place.
    Bytes installer = stubImage;
    if (project.icon) {
        int64_t offset = FindStubIcon(stubImage);
        if (offset < 0)
            throw ProjectError("the stub has no 32x32 256-colour icon image to replace");
        if (offset > kMaxIconOffset)
            throw ProjectError("the stub's icon lies beyond file offset 999998");
        d.iconOffset = (int32_t)offset;
        d.uninstallerIcon = *project.icon;
        std::copy(project.icon->begin(), project.icon->end(), installer.begin() + offset);
    }
    if (std::string problem = CheckDescription(d); !problem.empty())
        throw ProjectError(project.path.string() + ": " + problem);

    Bytes description = WriteDescription(d);
    uint32_t key = SumOf(description);
    Bytes packed = Pack(description, PackLevel::Best);
    ScrambleBytes(packed, key);

    // How much file data the installer itself holds.
    uint64_t fixed = kArchiveHeaderSize + packed.size();
    uint64_t inSection = block.size();
    if (options.volumeSize > 0) {
        uint64_t rawOffset = (stubImage.size() + stubPe.fileAlignment - 1) / stubPe.fileAlignment
                           * stubPe.fileAlignment;
        uint64_t room = options.volumeSize > (int64_t)rawOffset
                      ? (options.volumeSize - rawOffset) / stubPe.sectionAlignment * stubPe.sectionAlignment
                      : 0;
        if (room < fixed)
            throw ProjectError("a volume size of " + std::to_string(options.volumeSize)
                               + " bytes cannot hold the installer's own part (at least "
                               + std::to_string(rawOffset + fixed) + " bytes)");
        inSection = std::min<uint64_t>(inSection, room - fixed);
    }
    ByteWriter archive;
    archive.Int(kArchiveMagic);
    archive.Int((uint32_t)kFormatVersion);
    archive.Int((uint32_t)packed.size());
    archive.Int(key);
    archive.Int(0);                                  // stub checksum, set below
    archive.Int((uint32_t)(fixed + inSection));
    archive.Raw(packed);
    archive.Raw(std::span<const uint8_t>(block).first(inSection));

    std::string error;
    std::optional<AppendedSection> placed = AppendArchiveSection(installer, archive.Out(), error);
    if (!placed)
        throw ProjectError("the stub: " + error);
    // Computed last, over the finished headers.
    Store32(installer.data() + placed->rawOffset + 16, Checksum(installer.data(), (int32_t)placed->rawOffset));

    std::vector<PendingFile> pending;
    auto discard = [&] {
        std::error_code ec;
        for (const PendingFile& f : pending)
            fs::remove(f.temp, ec);
    };
    try {
        pending.push_back(WriteTemp(options.output, installer));
        int number = 2;
        for (uint64_t at = inSection; at < block.size(); number++) {
            uint64_t n = std::min<uint64_t>(block.size() - at, (uint64_t)options.volumeSize);
            fs::path volume = options.output.parent_path() / PathFromUtf8(VolumeFileName(d.volumeBaseName, number));
            pending.push_back(WriteTemp(volume, std::span<const uint8_t>(block).subspan(at, n)));
            at += n;
        }
        for (const PendingFile& f : pending) {
            fs::rename(f.temp, f.final);
            result.written.push_back(f.final);
        }
    } catch (const fs::filesystem_error& e) {
        discard();
        throw ProjectError(std::string("cannot write the installer: ") + e.what());
    } catch (...) {
        discard();
        throw;
    }
    return result;
}

ArchiveFault ReadInstaller(const fs::path& path, Installer& in)
{
    try {
        in.image = ReadWholeFile(path);
    } catch (const ProjectError& e) {
        return {0, e.what()};
    }
    const Bytes& image = in.image;
    // The PE walk, with the stub's limits.
    if (image.size() < 0x40)
        return {43, "the file is too short to be a Windows program"};
    uint32_t h = Load16(image.data() + 0x3C);
    if (h < 0x40 || h > 0x1000)
        return {43, "the PE header pointer lies outside 0x40..0x1000"};
    if ((uint64_t)h + 0x18 > image.size())
        return {44, "the file ends inside its PE header"};
    uint16_t count = Load16(image.data() + h + 6);
    if (count < 4 || count > 99)
        return {44, "the installer has " + std::to_string(count) + " sections, not 4..99"};
    std::string error;
    in.pe = ParsePe(image, error);
    if (!in.pe)
        return {0, error};
    for (size_t i = 0; i < in.pe->sections.size(); i++)
        if (in.pe->sections[i].name == kSectionName) {
            in.section = (int)i;
            break;
        }
    if (in.section < 0)
        return {0, "there is no .velt section: this is no installer (an uninstaller, or the bare stub)"};
    const PeSection& s = in.pe->sections[in.section];
    in.rawOffset = s.rawOffset;
    in.rawSize = s.rawSize;
    in.virtualAddress = s.virtualAddress;
    if (s.rawOffset == 0)
        return {9, "the archive section has no data in the file"};
    if (s.rawOffset >= image.size())
        return {10, "the archive section starts past the end of the file"};
    if ((uint64_t)s.rawOffset + s.rawSize > image.size())
        return {0, "the file is truncated: the archive section runs past its end"};
    // The stub reads the section as mapped: raw bytes, then zeros.
    std::span<const uint8_t> section(image.data() + s.rawOffset, s.rawSize);

    ByteReader header(section);
    in.magic = header.Int();
    if (in.magic != kArchiveMagic)
        return {20, "the archive header's magic word is wrong"};
    in.version = (int32_t)header.Int();
    if (in.version != kFormatVersion)
        return {0, "the archive is of format version " + std::to_string(in.version)
                   + ", not 620: the stub stops with its version message"};
    in.descriptionSize = (int32_t)header.Int();
    if (in.descriptionSize < 1)
        return {22, "the packed description's size is not positive"};
    in.descriptionKey = header.Int();
    in.stubChecksum = header.Int();
    in.sectionDataSize = (int32_t)header.Int();
    if (in.sectionDataSize < 0)
        return {45, "the section's data size is negative"};
    uint64_t start = kArchiveHeaderSize;
    if (start + (uint64_t)in.descriptionSize > section.size())
        return {47, "the packed description runs past the end of the section"};
    Bytes packed(section.begin() + start, section.begin() + start + in.descriptionSize);
    ScrambleBytes(packed, in.descriptionKey);
    Bytes unpacked;
    if (!UnpackBlock(packed, unpacked))
        return {47, "the description does not unpack"};
    if (ArchiveFault fault = ReadDescription(unpacked, in.descriptionKey, in.description))
        return fault;
    in.descriptionRead = true;
    const Description& d = in.description;

    // The uninstaller is built from the bytes before the section.
    if ((d.productFlags & PfChecksums)
        && Checksum(image.data(), (int32_t)s.rawOffset) != in.stubChecksum)
        return {40, "the stub's checksum does not match: the program part was changed"};

    // The file-data block: the section's part, then the volumes.
    uint64_t p = start + (uint64_t)in.descriptionSize;
    int64_t sectionPart = (int64_t)in.sectionDataSize - (int64_t)p;
    if (sectionPart < 0)
        return {53, "the section's data size ends before the file data starts"};
    if (p + (uint64_t)sectionPart > section.size())
        return {0, "the section's data size runs past the end of the section"};
    in.sectionPayload = sectionPart;
    // A section holding at least the whole block is used in place.
    Bytes block(section.begin() + p, section.begin() + p + std::min<int64_t>(sectionPart, d.payloadSize));
    for (int number = 2; (int64_t)block.size() < d.payloadSize; number++) {
        fs::path volume = path.parent_path() / PathFromUtf8(VolumeFileName(d.volumeBaseName, number));
        std::error_code ec;
        if (!fs::is_regular_file(volume, ec))
            return {0, "volume " + std::to_string(number) + " (" + volume.string()
                       + ") is missing; the installer would ask for it"};
        Bytes bytes;
        try {
            bytes = ReadWholeFile(volume);
        } catch (const ProjectError&) {
            return {50, "volume " + volume.string() + " cannot be read"};
        }
        if (bytes.empty())
            return {0, "volume " + volume.string() + " is empty: the installer stops"};
        block.insert(block.end(), bytes.begin(), bytes.end());
        in.volumes.push_back(number);
    }
    if ((int64_t)block.size() != d.payloadSize)
        return {53, "the file data is " + std::to_string(block.size()) + " bytes, not "
                    + std::to_string(d.payloadSize)};
    if (SumOf(block) != d.payloadChecksum)
        return {55, "the file data's checksum does not match"};
    if (d.productFlags & PfCompressed) {
        if (!UnpackBlock(block, in.payload))
            return {60, "the compressed file data does not unpack"};
    } else {
        in.payload = std::move(block);
    }

    // The records, with the checks made while placing each file.
    ByteReader r(in.payload);
    for (size_t i = 0; i < d.storedSizes.size(); i++) {
        FileRecord rec;
        rec.name = r.Text();
        std::string which = "file " + std::to_string(i);
        if (rec.name.empty())
            return {70, which + " has an empty name"};
        which += " (" + Cp1252ToUtf8(rec.name) + ")";
        rec.kind = (int32_t)r.Int();
        rec.flags = (int32_t)r.Int();
        rec.data = r.Raw((size_t)d.storedSizes[i]);
        rec.checksum = r.Int();
        rec.time = r.Date();
        rec.text = r.Text();
        if (rec.flags & (FfDesktopShortcut | FfProgramsShortcut))
            rec.icon = r.Text();
        if (r.Overrun())
            return {0, which + " runs past the end of the file data"};
        bool sumOk = SumOf(rec.data) == rec.checksum;
        in.records.push_back(rec);
        in.recordChecksumOk.push_back(sumOk);
        if ((d.productFlags & PfChecksums) && !sumOk)
            return {100, which + ": the stored bytes do not match the file's checksum"};
        if (!DestKindName(rec.kind))
            return {110, which + " has the unknown destination kind " + std::to_string(rec.kind)};
        if ((rec.flags & FfOverwriteMask) == 0x04)
            return {112, which + " has the invalid overwrite mode 4"};
    }
    return {};
}

} // namespace velt
