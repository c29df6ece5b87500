// Digests of texts the program must be able to trust again later, through
// the system's own cryptographic provider.
#pragma once

#include "core/string.h"

// The SHA-256 digest of the bytes of `text`, as 64 lower-case hexadecimal
// digits; empty when the system cannot make one.
String Sha256Text(const String& text);
