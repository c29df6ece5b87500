// The installation description as process-wide settings: read once, front
// to back, right after the archive header (archive/description.h reads
// and checks it; here its fields take effect). Its texts go to the message
// table (ui/messages.h), through which every user-visible text is fetched.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "archive/description.h"
#include "archive/format.h"
#include "core/byte_stream.h"
#include "core/format.h"
#include "core/string.h"
#include "ui/messages.h"

// The description as read: the record that the reader fills. The
// settings below are its fields under the names the rest of the program
// uses; those the installer derives (the defaults of the start-menu folder,
// the install directory and the display name) are made in place.
extern DescriptionFields Description;
inline uint32_t& ProductFlags = Description.productFlags;
inline DateTime& ArchiveDate = Description.archiveDate;           // the uninstaller's file time
inline int32_t& FileCount = Description.fileCount;
inline int32_t*& StoredSizes = Description.storedSizes;           // each file's data length
inline int32_t& PayloadSize = Description.payloadSize;            // the whole file-data block's
inline uint32_t& PayloadChecksum = Description.payloadChecksum;
inline String& Publisher = Description.publisher;
extern String SharedDirectory;      // Common Files \ Publisher, with PfUninstallSupport
inline String& StartMenuFolder = Description.startMenuFolder;
inline String& DefaultDirectory = Description.defaultDirectory;
inline String& DisplayVersion = Description.displayVersion;
inline String& ProductRegistry = Description.productRegistry;
inline String& LicenseText = Description.licenseText;
inline String& ReadmeText = Description.readmeText;
inline String& UninstallSubdir = Description.uninstallSubdir;
inline String& DisplayName = Description.displayName;
inline String& VolumeBaseName = Description.volumeBaseName;
inline String& UninstallerName = Description.uninstallerName;
inline String& MasterProduct = Description.masterProduct;         // with PfNeedsMaster only
inline String& PreInstallBatch = Description.preInstallBatch;
inline String& PostInstallBatch = Description.postInstallBatch;
inline String& FinalBatch = Description.finalBatch;
inline String& UninstallBatch1 = Description.uninstallBatch1;
inline String& UninstallBatch2 = Description.uninstallBatch2;
inline int32_t& IconOffset = Description.iconOffset;              // 0: the stub's own icon
inline String& UninstallerIcon = Description.uninstallerIcon;
inline int& AssociationCount = Description.associationCount;
inline FileAssociation*& Associations = Description.associations;
inline int& LanguageCount = Description.languageCount;
inline String*& LanguageNames = Description.languageNames;        // in dialog order

// Reads the description from its first byte and sets the settings above,
// the product name and automatic mode, the background's colours and
// picture. descriptionKey is the archive header's key, which is also the
// checksum of the unpacked description. Returns 0 when the description is
// sound, else the corrupt-archive code of the first failed check; the
// fields read before that check have taken effect.
int ReadDescriptionSettings(ByteStream& stream, uint32_t descriptionKey);
// ReadDescriptionSettings, ending the program with the corrupt-archive
// report on a failed check.
void ReadDescription(ByteStream& stream, uint32_t descriptionKey);
