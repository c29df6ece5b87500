// The stub's command line: /a, /d:"dir", /n:"name", /u[:"name"], also
// written with "-" and in any letter case.
//
// Portable: no windows.h, so the host tests run it too.
#pragma once

#include <stdint.h>

#include "core/string.h"

struct CommandLine {
    uint8_t automatic = 0;      // /a: no questions
    uint8_t uninstall = 0;      // /u: uninstall the product named by /u: or /n:
    String productName;         // /n: or /u:, the later one wins
    String installDirectory;    // /d:, overrides the description's directory
};

// The most words looked at; the rest of the line is ignored.
constexpr int kMaxCommandLineWords = 19;

// Reads the argument text (the command line without the program's name)
// into options, a later word overriding an earlier one. Returns 1, or 0
// with the text of the usage complaint in error.
uint8_t ParseCommandLine(String text, CommandLine& options, String& error);
