#include "launcher/command_line.h"

namespace {

// A switch's value loses one pair of enclosing quotes.
String SwitchValue(const String& rest, int skip)
{
    String value = rest.Mid(skip);
    value.Unquote('"');
    return value;
}

// Applies one switch (the word without its "/" or "-"). Returns 0 for an
// unknown one.
uint8_t ApplySwitch(const String& rest, CommandLine& options)
{
    if (rest.IsEmpty())
        return 1;                           // a lone "/" or "-" is ignored
    if (rest.Compare("A", false) == 0) {
        options.automatic = 1;
    } else if (rest.Compare("D:", false, 2) == 0) {
        options.installDirectory = SwitchValue(rest, 2);
    } else if (rest.Compare("N:", false, 2) == 0) {
        options.productName = SwitchValue(rest, 2);
    } else if (rest.Compare("U", false, 1) == 0) {
        options.uninstall = 1;
        if (rest.CharAt(1) == ':')          // "/u" alone only asks for it
            options.productName = SwitchValue(rest, 2);
    } else {
        return 0;
    }
    return 1;
}

}  // namespace

uint8_t ParseCommandLine(String text, CommandLine& options, String& error)
{
    // A blank rest ends the line too: trailing blanks are not a word.
    for (int words = 0; !text.IsBlank() && words < kMaxCommandLineWords; ++words) {
        String word = text.PopToken();
        if (!word.StripLeadingOneOf("/-")) {
            error = "Unexpected command line parameter:\n" + word;
            return 0;
        }
        if (!ApplySwitch(word, options)) {
            error = "Illegal command line atom:\n" + word;
            return 0;
        }
    }
    return 1;
}
