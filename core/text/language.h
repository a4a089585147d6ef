#pragma once
// The tools' own words, in the user's language: each text is written in English and in Japanese
// side by side where it is used. The described message texts (messages.h) are Japanese in both.

#include <initializer_list>
#include <string>
#include <string_view>

namespace quorvel {

enum class Language { English, Japanese };

// The text in the language, its {0}, {1}, ... replaced by the arguments in order.
std::string Say(Language language, std::string_view english, std::string_view japanese,
                std::initializer_list<std::string_view> args = {});

}  // namespace quorvel
