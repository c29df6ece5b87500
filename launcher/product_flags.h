// The bits of the description's product flag word. The final word,
// PfRebootNeeded included, is also stored for the uninstaller.
#pragma once

enum ProductFlag : unsigned {
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
};
