// What one installation run holds from its questions to its end. The
// install sequence sets the directories and the previous installation; the
// engine's steps fill the collections, which later steps consume.
#pragma once

#include <stdint.h>

#include "core/containers.h"
#include "core/string.h"

extern String InstallDirectory;     // /d:, the default directory, or the previous location
extern String UninstallDirectory;   // the install directory joined with UninstallSubdir
extern uint8_t IsReinstall;         // installing over an earlier installation

// The earlier registration's values ("" when there is none).
extern String PreviousLocation;
extern String PreviousVersion;
extern String PreviousSharedFiles;  // after the shared counts: this run's list

// Error lines of the run, each ended by "\r\n" (some by a blank line), and
// the per-file report lines; both go to the log at the end.
extern String ErrorText;
extern String FileReportText;

// The error line of a file, shortcut, font or record that could not be
// written: message 31, the path, a line end.
void AppendFailedLine(String& errorText, const char* path);

// Destinations of shared (type 1) and system (type 6) files in archive
// order; a trailing blank marks a system file or a permanent shared file.
extern List<String> SharedFileList;

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
extern ShortcutRequest* ShortcutRequests;   // the first request, or null
void AddShortcutRequest(const ShortcutRequest& request);
void ClearShortcutRequests();

// The placed fonts in their quoted form, and whether any was added.
extern String FontList;
extern uint8_t FontsChanged;

extern uint8_t RebootRequested;     // restart the system at the very end
