// Writes the uninstaller image the stub would build from an installer:
//   image_tool.exe INSTALLER OUT
// The archive is read from the file here (a test has no installer mapped
// into its own image); everything after that is the stub's own code.
#include <stdio.h>

#include "core/byte_stream.h"
#include "core/file.h"
#include "product/archive.h"
#include "product/description.h"
#include "product/run.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: image_tool INSTALLER OUT\n");
        return 2;
    }
    File installer;
    if (!installer.OpenForRead(argv[1], false)) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 2;
    }
    ArchiveSection section;
    if (WalkToArchiveSection(installer, section) != 0) {
        fprintf(stderr, "no archive section\n");
        return 2;
    }
    String archive;
    if (!installer.ReadRange(archive, (int)section.rawOffset, (int)section.rawSize)) {
        fprintf(stderr, "cannot read the section\n");
        return 2;
    }
    OpenedArchive opened;
    opened.sectionBase = (const uint8_t*)archive.CStr();
    opened.sectionLength = archive.Length();
    ByteStream packed;
    LoadDescription(opened, packed);
    DescriptionFields description;
    ProductRun run;
    ReadDescription(packed, opened.header.descriptionKey, description, run);
    String image;
    int code = BuildUninstallerImageFields(installer, section, opened, description, image);
    if (code != 0) {
        fprintf(stderr, "corrupt-archive code %d\n", code);
        return 3;
    }
    if (!WriteFileFromString(argv[2], image)) {
        fprintf(stderr, "cannot write %s\n", argv[2]);
        return 2;
    }
    return 0;
}
