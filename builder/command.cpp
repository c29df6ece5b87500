#include "builder/command.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace velt {

namespace {

bool IsNameStart(char c)
{
    return std::isalpha((unsigned char)c) || c == '_';
}

bool IsNameChar(char c)
{
    return std::isalnum((unsigned char)c) || c == '_';
}

// Reads $NAME or ${NAME} at `at` (on the '$'); appends the value and moves
// past it. False when the '$' starts no variable and stands for itself.
bool ReadVariable(const std::string& s, size_t& at, const EnvironmentLookup& environment,
                  std::string& word, std::string& error)
{
    size_t start = at + 1;
    bool braced = start < s.size() && s[start] == '{';
    if (braced)
        start++;
    if (start >= s.size() || !IsNameStart(s[start]))
        return false;
    size_t end = start;
    while (end < s.size() && IsNameChar(s[end]))
        end++;
    if (braced) {
        if (end >= s.size() || s[end] != '}') {
            error = "\"${\" without its \"}\"";
            return true;
        }
    }
    std::string name = s.substr(start, end - start);
    word += environment(name).value_or("");
    at = braced ? end + 1 : end;
    return true;
}

} // namespace

std::vector<std::vector<std::string>> SplitSigningCommand(const std::string& s,
                                                          const std::string& installer,
                                                          const EnvironmentLookup& environment,
                                                          std::string& error)
{
    static const char kEscapable[] = " \t\"'$&|;<>()`";
    std::vector<std::vector<std::string>> commands(1);
    std::string word;
    bool inWord = false;              // a word has begun ("" counts as one)
    char quote = 0;                   // the quote that is open, or 0
    error.clear();
    auto endWord = [&] {
        if (inWord)
            commands.back().push_back(word);
        word.clear();
        inWord = false;
    };
    for (size_t at = 0; at < s.size() && error.empty();) {
        char c = s[at];
        if (s.compare(at, 2, "{}") == 0) {
            word += installer;
            inWord = true;
            at += 2;
            continue;
        }
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
            at++;
            continue;
        }
        if (c == '\\' && at + 1 < s.size()) {
            char next = s[at + 1];
            if (next == '\n') {
                at += 2;
                continue;
            }
            bool escapable = quote ? next == '"' || next == '$' || next == '`'
                                   : std::strchr(kEscapable, next) != nullptr;
            if (escapable) {
                word += next;
                inWord = true;
                at += 2;
                continue;
            }
        }
        if (c == '$' && s.compare(at, 2, "$(") == 0) {
            error = "\"$(\" is a shell's";
            break;
        }
        if (c == '$' && ReadVariable(s, at, environment, word, error)) {
            inWord = true;
            continue;
        }
        if (c == '`') {
            error = "\"`\" is a shell's";
            break;
        }
        if (quote == '"') {
            if (c == '"')
                quote = 0;
            else
                word += c;
            at++;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
            at++;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            endWord();
            at++;
            continue;
        }
        if (s.compare(at, 2, "&&") == 0) {
            endWord();
            if (commands.back().empty()) {
                error = "\"&&\" must stand between two commands";
                break;
            }
            commands.emplace_back();
            at += 2;
            continue;
        }
        if (std::strchr("&|;<>()", c)) {
            error = std::string("\"") + c + "\" is a shell's";
            break;
        }
        word += c;
        inWord = true;
        at++;
    }
    if (error.empty() && quote)
        error = std::string("a ") + quote + " is not closed";
    endWord();
    if (error.empty() && commands.back().empty())
        error = commands.size() > 1 ? "\"&&\" must stand between two commands" : "the command is empty";
    if (!error.empty()) {
        if (error.find("shell's") != std::string::npos)
            error += ": the command runs without a shell (see docs/signing.md); "
                     "put what needs one in a script and name the script";
        commands.clear();
    }
    return commands;
}

std::optional<std::string> ProcessEnvironment(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    if (!value)
        return std::nullopt;
    return std::string(value);
}

} // namespace velt
