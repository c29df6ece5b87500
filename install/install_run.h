// What one installation knows and decides, from its questions to its end:
// made by the entry once the description is read, and handed to every
// step. The install sequence sets the directories and the earlier
// installation; the steps fill the collections, which later steps consume.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "archive/description.h"
#include "core/containers.h"
#include "core/string.h"
#include "product/archive.h"
#include "product/run.h"

// A shortcut asked for by a placed file. The requests form a chain in the
// order of the files (a plain chain: the stub's size counts, and a
// container class of its own would cost more than the requests do).
struct ShortcutRequest {
    String target;          // the placed file
    String name;            // the record's text
    String icon;            // in the uninstall directory, or ""
    uint8_t desktop = 0;
    uint8_t programs = 0;
    uint8_t startup = 0;
    ShortcutRequest* next = nullptr;
};

struct InstallRun : ProductRun {
    InstallRun(const DescriptionFields& read, OpenedArchive& opened)
        : description(read), archive(opened) {}
    ~InstallRun();
    InstallRun(const InstallRun&) = delete;
    InstallRun& operator=(const InstallRun&) = delete;

    const DescriptionFields& description;   // read once from the archive, never changed
    OpenedArchive& archive;             // the section, its header and the file-data block
    ArchiveCursor archiveCursor;        // the next file record, once the file data is ready

    String defaultDirectory;        // the description's, or the master product's directory
    String uninstallDirectory;      // the install directory joined with UninstallSubdir
    uint8_t isReinstall = 0;        // installing over an earlier installation

    // The earlier registration's values ("" when there is none).
    String previousLocation;
    String previousVersion;
    String previousSharedFiles;     // after the shared counts: this run's list

    String fileReportText;          // the per-file report lines, for the log
    // Destinations of shared (type 1) and system (type 6) files in archive
    // order; a trailing blank marks a system file or a permanent shared file.
    List<String> sharedFileList;
    ShortcutRequest* shortcutRequests = nullptr;    // the first request, or null
    ShortcutRequest* lastShortcutRequest = nullptr;
    uint8_t madeProgramsShortcut = 0;   // only then the uninstaller gets a start-menu shortcut
    String fontList;                // the placed fonts in their quoted form
    uint8_t fontsChanged = 0;       // a font was added
    // The earlier installation's Uninstall.DAT, when the registration's
    // digest vouches for it: what the product wrote before, for the files
    // it finds again.
    String previousRecord;
    String associationRecords;      // one line per association (product/uninstall_data.h)
    uint8_t restartNeeded = 0;      // a file in use is replaced at the next start (PfRebootNeeded)
    uint8_t madeAutoexec = 0;       // the PATH edit created autoexec.bat (AutoexecCreated)
    uint8_t rebootRequested = 0;    // restart the system at the very end
    DWORD stepStart = 0;            // the tick count when the shown step began
};

// The product's flags as the installation stores them: the description's,
// with PfRebootNeeded once a file was deferred.
uint32_t ProductFlagsOf(const InstallRun& run);

// The error line of a file, shortcut, font or record that could not be
// written: message 31, the path, a line end.
void AppendFailedLine(String& errorText, const char* path);

void AddShortcutRequest(InstallRun& run, const ShortcutRequest& request);
void ClearShortcutRequests(InstallRun& run);
