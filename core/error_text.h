// The system's texts for error codes.
#pragma once

#include "core/string.h"

// The system's message for an error code, from its message table in the
// user's default language, with any inserts (%1) left as they stand; empty
// for code 0 and for a code the system has no text for. System messages end
// with a line break, which is kept.
String SystemErrorText(unsigned long code);
