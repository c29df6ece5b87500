// The bytes of an installer's archive: where the installer keeps it, its
// header, the limits of its description and the bits of its flag words.
// The stub reads them and the builder writes them; both take them from
// here. Portable: no windows.h.
#pragma once

#include <stdint.h>

// The PE walk to the archive section, with the limits the stub accepts.
constexpr uint32_t kMinPeOffset = 0x40;        // the DOS header's pointer, read as 16 bits
constexpr uint32_t kMaxPeOffset = 0x1000;
constexpr int kMinSectionCount = 4;
constexpr int kMaxSectionCount = 99;
constexpr int kSectionEntrySize = 40;
inline constexpr char kArchiveSectionName[] = ".velt";

// The archive header: six words at the start of the section, then the
// packed description, then the file-data block (or its first part).
constexpr uint32_t kArchiveMagic = 12345678;
constexpr int32_t kArchiveVersion = 620;        // format version x 100
constexpr int kArchiveHeaderSize = 24;

// A DateTime (core/format.h) as stored: six words in this order.
#define VELT_DATE_WORDS(X) X(year) X(month) X(day) X(hour) X(minute) X(second)

// The installation description.
constexpr uint32_t kDescriptionEndMarker = 0xD3E82B97;   // its last word
constexpr int kMaxMessageCount = 10000;
constexpr int kMaxIconOffset = 999998;
// The uninstaller's icon image: a 32x32 256-colour icon as stored in an
// executable's resources (header, palette, pixels, mask).
constexpr int kUninstallerIconSize = 2216;

// The bits of the description's product flag word. The final word,
// PfRebootNeeded included, is also stored for the uninstaller.
enum ProductFlag : uint32_t {
    PfRefuseReinstall   = 0x00000001,  // an existing installation stops the run
    PfHideBatch         = 0x00000002,  // batch texts run hidden, without PAUSE and @
    PfUninstallSupport  = 0x00000004,  // register an uninstaller and its record
    PfAskFonts          = 0x00000010,  // the uninstaller asks before removing a font
    PfCompressed        = 0x00000020,  // the file-data block is one compressed block
    PfAlwaysLog         = 0x00000040,  // write the log even without errors
    PfAskDirectory      = 0x00000080,  // interactive runs choose the destination
    PfAutomatic         = 0x00000100,  // run as with /a
    PfQuietUninstall    = 0x00000200,  // the uninstaller runs without questions
    PfNoUninstallList   = 0x00000400,  // install-directory files are not listed for removal
    PfChecksums         = 0x00000800,  // verify description, stub and per-file sums
    PfEditPath          = 0x00001000,  // add the install directory to PATH
    PfCustomColors      = 0x00002000,  // the description's colours are used
    PfRebootNeeded      = 0x00004000,  // set during the run: a file was deferred
    PfKeepBackground    = 0x00008000,  // save the background picture for the uninstaller
    PfNeedsMaster       = 0x00010000,  // an add-on: MasterProduct is present
    PfAskSharedDelete   = 0x00020000,  // the uninstaller asks before deleting a shared file
    PfVerifyWrites      = 0x00040000,  // every written file is read back
    PfClearAttributes   = 0x00080000,  // reset attributes of an unwritable destination
    PfLogFileLines      = 0x00100000,  // each placed file adds a report line
    PfNoCancel          = 0x00200000,  // the progress dialog's Cancel is disabled
    PfStandardExitCodes = 0x00400000,  // end with the exit codes deployment tools read
};

// The flag word of a file record.
enum FileFlag : int32_t {
    FfDesktopShortcut   = 0x01,        // shortcut on the desktop
    FfProgramsShortcut  = 0x02,        // shortcut in the start-menu folder
    FfOverwriteMask     = 0x0C,        // the overwrite mode; 0x04 is invalid
    FfUpdateOnly        = 0x08,        // only replace an existing file
    FfKeepExisting      = 0x0C,        // never replace an existing file
    FfPermanent         = 0x20,        // never removed by the uninstaller
    FfToUninstallDir    = 0x40,        // placed in the uninstall directory
};

// The destination kind of a file record.
enum DestKind : int32_t {
    DestInstall         = 0,           // the install directory
    DestShared          = 1,           // the shared directory, reference counted
    DestFont            = 4,           // the fonts folder, registered as a font
    DestInstallStartup  = 5,           // the install directory, with a Startup shortcut
    DestSystem          = 6,           // the system directory, by version
};

// Whether `kind` is one of the destination kinds above.
constexpr bool IsDestKind(int32_t kind)
{
    return kind == DestInstall || kind == DestShared || kind == DestFont
        || kind == DestInstallStartup || kind == DestSystem;
}
