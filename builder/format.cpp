#include "builder/format.h"

namespace velt {

const NamedValue kFlagNames[] = {
    {"refuse-reinstall", PfRefuseReinstall},
    {"hide-batch", PfHideBatch},
    {"uninstall-support", PfUninstallSupport},
    {"ask-fonts", PfAskFonts},
    {"compressed", PfCompressed},
    {"always-log", PfAlwaysLog},
    {"ask-directory", PfAskDirectory},
    {"automatic", PfAutomatic},
    {"quiet-uninstall", PfQuietUninstall},
    {"no-uninstall-list", PfNoUninstallList},
    {"checksums", PfChecksums},
    {"edit-path", PfEditPath},
    {"custom-colors", PfCustomColors},
    {"keep-background", PfKeepBackground},
    {"needs-master", PfNeedsMaster},
    {"ask-shared-delete", PfAskSharedDelete},
    {"verify-writes", PfVerifyWrites},
    {"clear-attributes", PfClearAttributes},
    {"log-file-lines", PfLogFileLines},
    {"no-cancel", PfNoCancel},
};
const size_t kFlagNameCount = sizeof kFlagNames / sizeof kFlagNames[0];

namespace {

const struct {
    const char* name;
    int32_t kind;
} kDestNames[] = {
    {"install", DestInstall}, {"shared", DestShared}, {"font", DestFont},
    {"install-startup", DestInstallStartup}, {"system", DestSystem},
};

} // namespace

const char* DestKindName(int32_t kind)
{
    for (const auto& d : kDestNames)
        if (d.kind == kind)
            return d.name;
    return nullptr;
}

bool DestKindFromName(const std::string& name, int32_t& kind)
{
    for (const auto& d : kDestNames)
        if (name == d.name) {
            kind = d.kind;
            return true;
        }
    return false;
}

} // namespace velt
