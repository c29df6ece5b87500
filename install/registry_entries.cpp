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

// One more field of an association's record: the key's default value.
void AppendDefaultField(String& record, const RegistryKey& key)
{
    record += "~!~";
    record += RegistryGetString(key, "", String(), 0);
}

// The file type's description, its default verb and the verb's command,
// under HKEY_CLASSES_ROOT\type. True when the command was written. The
// record gets the defaults that the type and its "shell" hold afterwards,
// which may also come from another association of the same type.
BYTE WriteVerb(const InstallRun& run, const FileAssociation& association, const String& type,
               const String* description, const String& commandLine, String& record)
{
    RegistryKey typeKey, shell, verb, command;
    const String& product = run.productName;
    DWORD opened = RegistryOpenKey(typeKey, HKEY_CLASSES_ROOT, type.CStr(), 0);
    if (opened == RegOpenFailed)
        return 0;
    ReplaceDefaultValue(typeKey, opened, product, description);
    AppendDefaultField(record, typeKey);
    BYTE written = 0;
    opened = RegistryOpenSubkey(shell, typeKey, "shell", 0);
    if (opened != RegOpenFailed) {
        ReplaceDefaultValue(shell, opened, product,
                            (association.flags & 0x01) ? &association.verb : nullptr);
        AppendDefaultField(record, shell);
        opened = RegistryOpenSubkey(verb, shell, association.verb.CStr(), 0);
        if (opened != RegOpenFailed) {
            ReplaceDefaultValue(verb, opened, product, nullptr);
            opened = RegistryOpenSubkey(command, verb, "command", 0);
            if (opened != RegOpenFailed)
                written = ReplaceDefaultValue(command, opened, product, &commandLine);
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
    DWORD opened = RegistryOpenKey(extensionKey, HKEY_CLASSES_ROOT, extension.CStr(), open);
    if (opened == RegOpenFailed) {
        if (!typeGiven)
            return;
    } else {
        if (typeGiven)
            ReplaceDefaultValue(extensionKey, opened, run.productName, &type);
        else
            type = RegistryGetString(extensionKey, "", String(), 0);
        RegistryCloseKey(extensionKey);
    }
    // A type the extension already had keeps its own description.
    const String* description = typeGiven && !association.description.IsEmpty()
                                    ? &association.description
                                    : nullptr;
    String command = ExpandCommandMacros(run, association.command);
    // Recorded even when it failed, so that the uninstaller removes what
    // was made of it. The values written let it tell them from values
    // that others write later.
    String& record = run.associationRecords;
    record.AppendFormat("%s~!~%s~!~%s~!~%s", extension.CStr(), type.CStr(),
                        association.verb.CStr(), command.CStr());
    BYTE associated = WriteVerb(run, association, type, description, command, record);
    record += "\r\n";
    if (!associated)
        run.errorText.AppendFormat("Failed to associate file type:  \"%s\".\r\n\r\n",
                               extension.CStr());
}

} // namespace

BYTE ReplaceDefaultValue(const RegistryKey& key, DWORD opened, const String& productName,
                         const String* value)
{
    String backup = productName + " Backup";
    // Once only: a reinstall finds the first backup, the state from before
    // any installation, and keeps it.
    if ((value || opened == RegCreatedNew) && !RegistryValueExists(key, backup.CStr())) {
        if (opened == RegCreatedNew)
            RegistrySetEmpty(key, backup.CStr());
        else if (!RegistryCopyValue(key, "", backup.CStr()))
            RegistrySetString(key, backup.CStr(), String(), 0);
    }
    return !value || RegistrySetString(key, "", *value, 0);
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
