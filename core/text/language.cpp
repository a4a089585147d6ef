#include "text/language.h"

namespace quorvel {

std::string Say(Language language, std::string_view english, std::string_view japanese,
                std::initializer_list<std::string_view> args) {
  const std::string_view text = language == Language::Japanese ? japanese : english;
  std::string said;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t close = text[i] == '{' ? text.find('}', i) : std::string_view::npos;
    const size_t index = close == i + 2 ? static_cast<size_t>(text[i + 1] - '0') : args.size();
    if (index < args.size()) {
      said += *(args.begin() + index);
      i = close;
    } else {
      said += text[i];
    }
  }
  return said;
}

}  // namespace quorvel
