// What every run of the program holds, an installation's or an
// uninstallation's: made by the entry from the command line, then handed
// to every step of the run, which reads and records through it. The two
// flows extend it (install/install_run.h, uninstall/uninstall_run.h).
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/string.h"
#include "product/uninstall_record.h"

// How the run ended, for its exit code. A run counts as cancelled until it
// learns otherwise: every way out that it does not mark is the user's no.
enum RunOutcome : uint8_t {
    OutcomeCancelled = 0,
    OutcomeFailed = 1,          // a fatal stop, or errors the user was told of
    OutcomeSucceeded = 2,
    OutcomeRestartPending = 3,  // succeeded, but a restart it needs was not made
};

struct ProductRun {
    String productName;         // /n:, /u: or the description's
    uint8_t automaticMode = 0;  // /a, PfAutomatic or PfQuietUninstall: no questions, no error boxes
    String installDirectory;    // /d:, then the chosen, earlier or registered directory
    String sharedDirectory;     // Common Files \ Publisher, or the registered SharedPath
    String commandInterpreter;  // %comspec% expanded, or "command.com": runs the batch files
    uint8_t outcome = OutcomeCancelled;     // RunOutcome
    uint8_t standardExitCodes = 0;  // the product's PfStandardExitCodes (SetExitCodes)
    // Error lines of the run, each ended by "\r\n" (some by a blank line),
    // shown and logged at the end; the uninstaller's "what could not be
    // removed", where empty at the end means success.
    String errorText;
    // The removal list (UninstallList): what the installation made, or
    // what the uninstallation could not remove, for the record it rewrites.
    UninstallList uninstallList;
};

// With the product's standard-exit-codes switch the exit code tells the
// outcome (0, 3010, 1602, 1603, as deployment tools read them); without it
// every run ends with 1.
UINT ExitCodeOf(const ProductRun& run, uint8_t outcome);
// Sets the switch, and the code with which a fatal stop ends from now on.
void SetExitCodes(ProductRun& run, uint8_t standardExitCodes);
// Ends the program (ExitProgram) with the code of the run's outcome.
[[noreturn]] void EndRun(const ProductRun& run);
