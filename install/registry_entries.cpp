#include "install/registry_entries.h"

#include "core/directory.h"
#include "system/registry.h"
#include "ui/messages.h"

namespace {

// The macros of a command line, replaced in this order. The drive macro
// gives the letter alone, so that commands write "%InstallDrive%:".
String ExpandCommandMacros(const InstallRun& run, const String& command)
{
    String text = command;
    text.ReplaceAll("%InstallDir%", run.installDirectory.CStr());
    char drive[2] = {run.installDirectory.First(), 0};
    text.ReplaceAll("%InstallDrive%", drive);
    text.ReplaceAll("%SharedDir%", run.sharedDirectory.CStr());
    text.ReplaceAll("%SystemDir%", GetSystemDirectoryString().CStr());
    return text;
}

// The file type's description, its default verb and the verb's command,
// under HKEY_CLASSES_ROOT\type. True when the command was written.
BYTE WriteVerb(const InstallRun& run, const FileAssociation& association, const String& type,
               bool typeGiven)
{
    RegistryKey typeKey, shell, verb, command;
    if (RegistryOpenKey(typeKey, HKEY_CLASSES_ROOT, type.CStr(), 0) == RegOpenFailed)
        return 0;
    // A type the extension already had keeps its own description.
    if (typeGiven && !association.description.IsEmpty())
        ReplaceDefaultValue(typeKey, run.productName, association.description);
    BYTE written = 0;
    if (RegistryOpenSubkey(shell, typeKey, "shell", 0) != RegOpenFailed) {
        if (association.flags & 0x01)
            ReplaceDefaultValue(shell, run.productName, association.verb);
        if (RegistryOpenSubkey(verb, shell, association.verb.CStr(), 0) != RegOpenFailed
            && RegistryOpenSubkey(command, verb, "command", 0) != RegOpenFailed) {
            // Paths in a command may have been typed in another letter
            // case before; such a command is no change worth a backup.
            written = ReplaceDefaultValue(command, run.productName,
                                          ExpandCommandMacros(run, association.command), true);
        }
    }
    // Innermost first; a key that did not open stays closed.
    RegistryCloseKey(command);
    RegistryCloseKey(verb);
    RegistryCloseKey(shell);
    RegistryCloseKey(typeKey);
    return written;
}

void Associate(InstallRun& run, const FileAssociation& association)
{
    String extension = association.extension;
    extension.EnsureLeading('.');
    String type = association.fileType;
    bool typeGiven = !type.IsEmpty();
    // Without a type of its own the association extends the type that the
    // extension already has; an extension the system does not know is left
    // alone.
    RegistryFlags open = typeGiven ? 0 : (RegistryFlags)RegOpenOnly;
    RegistryKey extensionKey;
    if (RegistryOpenKey(extensionKey, HKEY_CLASSES_ROOT, extension.CStr(), open)
        == RegOpenFailed) {
        if (!typeGiven)
            return;
    } else {
        if (typeGiven)
            ReplaceDefaultValue(extensionKey, run.productName, type);
        else
            type = RegistryGetString(extensionKey, "", String(), 0);
        RegistryCloseKey(extensionKey);
    }
    BYTE associated = WriteVerb(run, association, type, typeGiven);
    // Recorded even when it failed, so that the uninstaller removes what
    // was made of it.
    run.associationRecords.AppendFormat("%s~!~%s~!~%s\r\n", extension.CStr(), type.CStr(),
                                    association.verb.CStr());
    if (!associated)
        run.errorText.AppendFormat("Failed to associate file type:  \"%s\".\r\n\r\n",
                               extension.CStr());
}

} // namespace

BYTE ReplaceDefaultValue(const RegistryKey& key, const String& productName, const String& value,
                         bool ignoreCase)
{
    String earlier = RegistryGetString(key, "", String(), 0);
    // A second installation finds its own value here, so the first backup,
    // the value from before any installation, stays.
    if (!earlier.IsEmpty() && earlier.Compare(value, !ignoreCase) != 0)
        RegistrySetString(key, (productName + " Backup").CStr(), earlier, 0);
    return RegistrySetString(key, "", value, 0);
}

void CreateProductKeys(InstallRun& run)
{
    const String& productRegistry = run.description.productRegistry;
    if (productRegistry.IsEmpty())
        return;
    bool failed = false;
    for (BYTE user = 0; user < 2; ++user) {
        RegistryKey key;
        if (RegistryOpenSoftwareKey(key, productRegistry.CStr(), user, 0) == RegOpenFailed)
            failed = true;
        else
            RegistryCloseKey(key);
    }
    if (failed)
        run.errorText.AppendFormat("Error creating registry keys:\r\n%s\r\n\r\n",
                                   productRegistry.CStr());
}

void AssociateFileTypes(InstallRun& run)
{
    const DescriptionFields& d = run.description;
    int selected = MessageLanguage();
    const char* language = selected < d.languageCount ? d.languageNames[selected].CStr() : "";
    for (int i = 0; i < d.associationCount; ++i) {
        const FileAssociation& association = d.associations[i];
        if (association.extension.IsEmpty())
            continue;
        if (!association.language.IsEmpty() && association.language != language)
            continue;
        Associate(run, association);
    }
}
