// The numbers of the description's message table: every text a user sees
// during a run is fetched by one of these. The stub asks for them, the
// builder's built-in texts fill them, the tests look for them. "%s", "%c"
// and "%d" in a text are filled by the caller; the conversions of each
// message are fixed by its use (the builder's table lists them). Portable.
#pragma once

class String;

enum Message : int {
    MsgProductTitle             = 0,   // the background's title, the value DisplayTitle
    MsgWelcome                  = 1,   // the welcome question, Yes/No
    MsgExistingCaption          = 2,   // caption of the existing-installation question
    MsgExistingVersionUnknown   = 3,   // existing installation, version unknown
    MsgExistingSameVersion      = 4,   // ... the same version
    MsgExistingOlderVersion     = 5,   // ... an older version
    MsgExistingNewerVersion     = 6,   // ... a newer version
    MsgExistingContinue         = 7,   // closing line of the existing-installation question
    MsgStatusPreparing          = 8,   // progress status while the archive is prepared
    MsgRefuseReinstall          = 9,   // refusal with PfRefuseReinstall
    MsgUninstallErrors          = 10,  // uninstall finished with errors; %s the error text
    MsgChooseDirPrompt          = 11,  // the directory question, also the browser's title
    MsgMasterMissing            = 12,  // the master product is missing; %s its name
    MsgCorruptArchive           = 13,  // the corrupt-archive text; %d the code
    MsgInvalidDestination       = 14,  // followed by the directory
    MsgUninstallCompleteCaption = 15,
    MsgDriveNotAvailable        = 16,  // %c the drive letter
    MsgDestinationTooShort      = 17,  // a drive root
    MsgDestinationProgramFiles  = 18,  // the Program Files folder itself; %s that folder
    MsgNotEnoughSpace           = 19,  // %s required size, %c drive, %s free size
    MsgQuestionCaption          = 20,  // disk space, restart, cancel, uninstall errors
    MsgErrorCaption             = 21,  // "Error" when empty
    MsgConfirmExistingDir       = 22,  // %s the directory
    MsgConfirmCreateDir         = 23,  // %s the directory
    MsgDestinationCaption       = 24,  // also the choose-directory dialog's
    MsgCannotCreateDir          = 25,  // followed by the directory
    MsgNextVolume               = 26,  // %d the volume number, %c the drive letter
    MsgNextVolumeCaption        = 27,
    MsgCancelQuestion           = 28,
    MsgStatusExpanding          = 29,  // progress status while the file data is expanded
    MsgUninstallRecordNote      = 30,  // copied into the uninstall record
    MsgErrorLinePrefix          = 31,  // an error line: this, a space, the path
    MsgStatusShortcuts          = 32,  // progress status: shortcuts and registry entries
    MsgUninstallShortcutName    = 33,  // first words of the uninstall shortcut's name
    MsgUninstallComplete        = 34,
    MsgSharedFileCaption        = 35,
    MsgStatusFinal              = 36,  // progress status of the final step
    MsgRestartQuestion          = 37,
    // 38 is not used.
    MsgProgressHeading          = 39,  // text of the progress dialog
    MsgLogWrittenQuestion       = 40,  // %s the log's path
    MsgLogWrittenCaption        = 41,
    MsgInstallComplete          = 42,
    MsgInstallCompleteCaption   = 43,
    MsgLicenseCaption           = 44,
    MsgLicenseAccept            = 45,
    MsgLicenseDecline           = 46,
    MsgLicenseHeading           = 47,
    MsgOk                       = 48,
    MsgCancel                   = 49,
    MsgReadmeCaption            = 50,
    MsgReadmeHeading            = 51,
    MsgBrowse                   = 52,  // the button beside the directory field
    MsgUninstallConfirm         = 53,
    MsgProgressCaption          = 54,
    MsgUninstallConfirmCaption  = 55,
    MsgFontQuestion             = 56,  // %s the font's title
    MsgFontCaption              = 57,
    MsgUninstallErrorPrefix     = 58,  // an uninstall error line: this, a space, the item
    MsgSharedFileQuestion       = 59,  // %s the file
    kMessageCount               = 60,  // the numbers above: 0 .. 59
};

// The macros of a message text, in place: every "<product>" becomes
// `productName`, then every "<os>" becomes `windowsDirectory`, letter case
// ignored in the search.
void ReplaceMessageMacros(String& text, const char* productName, const char* windowsDirectory);
