// Installers as files: building one from a project, and reading one back
// with every check the stub makes.
#pragma once

#include "builder/bytes.h"
#include "builder/description.h"
#include "builder/format.h"
#include "builder/pe.h"
#include "builder/project.h"

#include "builder/compress.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velt {

// The file-data block's records, in order, as archive/'s writer lays them
// out.
Bytes WriteFileRecords(const std::vector<FileRecord>& records);

struct BuildOptions {
    std::filesystem::path output;                 // the installer to write
    PackLevel level = PackLevel::Best;            // for the file data
    int64_t volumeSize = 0;                       // 0: everything in the installer
    std::optional<Arch> arch;                     // the stub must be of this architecture
    std::function<void(size_t, size_t)> progress; // compression progress, or empty
};

struct BuildResult {
    std::vector<std::filesystem::path> written;   // installer first, then volumes
    Description description;
    std::vector<FileRecord> records;
};

// Builds the installer (and volumes) for `project` on `stub`, an x86 or x64
// stub (of `options.arch` when that is set). Nothing is left behind on
// failure: files are written to temporary names and renamed at the end.
// Throws ProjectError.
BuildResult BuildInstaller(const Project& project, const Bytes& stub, const BuildOptions& options);

// An installer read back. Filled as far as the reading got.
struct Installer {
    Bytes image;                                  // the whole file
    std::optional<PeHeaders> pe;
    int section = -1;                             // index of ".velt"
    uint32_t rawOffset = 0, rawSize = 0, virtualAddress = 0;
    uint32_t peOffset = 0;
    // The certificate-table entry: where a signature lies (0, 0 unsigned).
    // Only its presence is read; the signature itself is not validated.
    uint32_t signatureOffset = 0, signatureSize = 0;
    // Archive header.
    uint32_t magic = 0;
    int32_t version = 0, descriptionSize = 0, sectionDataSize = 0;
    uint32_t descriptionKey = 0, stubChecksum = 0;
    Description description;
    bool descriptionRead = false;
    std::vector<int> volumes;                     // numbers of the volumes read
    int64_t sectionPayload = 0;                   // S: file-data bytes in the section
    Bytes payload;                                // the expanded file-data block
    std::vector<FileRecord> records;
    std::vector<bool> recordChecksumOk;
};

// Reads and checks an installer the way the stub does, in the stub's
// order; volume files are looked for beside it. Returns the first fault
// (code 0 with a sentence for faults the stub reports without a code).
ArchiveFault ReadInstaller(const std::filesystem::path& path, Installer& out);

} // namespace velt
