#pragma once

#include <libintl.h>

#include <string>

namespace tarvo::platform {

// Every text the user reads goes through these, so that it can be read in
// the user's language; the English text is the key and the fallback. Texts
// are whole sentences with placeholders, never pieces glued together.
inline constexpr const char* textDomain = "tarvo-studio";

[[nodiscard]] inline std::string tr(const char* text) {
  return ::dgettext(textDomain, text);
}

// The form of a sentence for a count of `n`.
[[nodiscard]] inline std::string trn(const char* one, const char* many, unsigned long n) {
  return ::dngettext(textDomain, one, many, n);
}

} // namespace tarvo::platform
