#pragma once
// The user's language, chosen once by the front end: the dialog speaks Japanese, the command-line
// tool the user's language. The messages of the core stand in one table (messages.h); the tool's
// own words, and the findings of a check, are written in English and in Japanese side by side where
// they are used.

#include <initializer_list>
#include <string>
#include <string_view>

namespace quorvel {

enum class Language { English, Japanese };

// The text in the language, its {0}, {1}, ... replaced by the arguments in order.
std::string Say(Language language, std::string_view english, std::string_view japanese,
                std::initializer_list<std::string_view> args = {});

}  // namespace quorvel
