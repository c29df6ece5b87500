#include "core/system_calls.h"

// Filled by the linker (the entries point at the import thunks), so the
// table is complete before any constructor runs, the test stub's failure
// plan included.
#define VELT_SYSTEM_CALL_DEFAULT(function, failure) ::function,
SystemCalls Sys = {VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_DEFAULT)};
#undef VELT_SYSTEM_CALL_DEFAULT
