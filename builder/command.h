// The --sign command: a template cut into programs and their arguments by
// rules of its own, so that it runs without a shell and no character of the
// installer's path (a product named "Evil & Co") means anything but itself.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velt {

// An environment variable's value, or nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

// Cuts a signing template into commands, each a program and its arguments,
// with every {} replaced by `installer` inside the word that holds it:
//   - words end at blanks, tabs and line ends outside quotes;
//   - '...' keeps everything as written; "..." too, but for $NAME and {};
//   - $NAME and ${NAME} outside '...' give the variable's value (empty when
//     it is not set), as one piece of the word: never cut, never read for
//     quotes, {} or operators;
//   - a backslash before a blank, a quote, '$', '&', '|', ';', '<', '>',
//     '(', ')' or '`' makes that character an ordinary one; before a line
//     end it joins the lines; before anything else (C:\certs\a.pfx) it is
//     an ordinary character itself;
//   - "&&" outside quotes separates commands: each runs when the one before
//     succeeded;
//   - '|', ';', a single '&', '<', '>', '(', ')', '`' and "$(" outside quotes
//     belong to a shell and are refused.
// Returns no commands and sets `error` for a template it refuses.
std::vector<std::vector<std::string>> SplitSigningCommand(const std::string& command,
                                                          const std::string& installer,
                                                          const EnvironmentLookup& environment,
                                                          std::string& error);

// The process's own environment, for SplitSigningCommand.
std::optional<std::string> ProcessEnvironment(const std::string& name);

} // namespace velt
