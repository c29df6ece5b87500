// The installer's built-in message texts: English, German, French and
// Spanish, one text for every message number the stub uses (Message,
// archive/messages.h).
#pragma once

#include "archive/messages.h"

#include <string>
#include <vector>

namespace velt {

inline constexpr int kBuiltInMessageCount = kMessageCount;   // every Message

struct MessageSet {
    const char* code;                 // "en", "de", "fr", "es"
    const char* name;                 // shown in the language dialog (UTF-8)
    std::vector<std::string> texts;   // UTF-8, one per number
};

// The built-in set for `code`, or nullptr.
const MessageSet* FindMessageSet(const std::string& code);
const std::vector<MessageSet>& MessageSets();

// The printf conversions the stub fills into message `number`, in order
// ("sc" = a text then a character), or nullptr when the stub shows the
// message without formatting it.
const char* MessageConversions(int number);

// The conversions of `text` in order ("%%" is no conversion), or nullopt-ish
// "?" when a conversion other than %s, %d, %c appears.
std::string ConversionsOf(const std::string& text);

} // namespace velt
