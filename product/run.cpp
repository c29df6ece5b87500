#include "product/run.h"

#include "ui/program_windows.h"

UINT ExitCodeOf(const ProductRun& run, uint8_t outcome)
{
    // Indexed by RunOutcome.
    static const UINT kStandardCodes[] = {1602, 1603, 0, 3010};
    return run.standardExitCodes ? kStandardCodes[outcome & 3] : 1;
}

void SetExitCodes(ProductRun& run, uint8_t standardExitCodes)
{
    run.standardExitCodes = standardExitCodes;
    OwnFatalBoxes(ExitCodeOf(run, OutcomeFailed));
}

void EndRun(const ProductRun& run)
{
    ExitProgram(ExitCodeOf(run, run.outcome));
}
