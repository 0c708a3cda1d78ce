#pragma once

#include <libintl.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace tarvo::platform {

// Every text the user reads goes through these, so that it can be read in
// the user's language; the English text is the key and the fallback. Texts
// are whole sentences with placeholders, never pieces glued together. The
// catalogue's template is made from the calls of tr, trn and trLogged (see
// po/README.md).
inline constexpr const char* textDomain = "tarvo-studio";

[[nodiscard]] inline std::string tr(const char* text) {
  return ::dgettext(textDomain, text);
}

// The form of a sentence for a count of `n`.
[[nodiscard]] inline std::string trn(const char* one, const char* many, unsigned long n) {
  return ::dngettext(textDomain, one, many, n);
}

// Values for the placeholders of a text: {"port", "7810"} fills "{port}".
using Placeholders = std::initializer_list<std::pair<std::string_view, std::string_view>>;

// `text` with each "{name}" of `values` replaced by its value. A value is
// never searched again, so one that holds braces stays as it is.
[[nodiscard]] inline std::string fill(std::string_view text, Placeholders values) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('{', at);
    if (open == std::string_view::npos) {
      break;
    }
    const std::size_t close = text.find('}', open);
    if (close == std::string_view::npos) {
      break;
    }
    const std::string_view name = text.substr(open + 1, close - open - 1);
    const auto* value = values.begin();
    while (value != values.end() && value->first != name) {
      ++value;
    }
    out.append(text.substr(at, open - at));
    if (value != values.end()) {
      out.append(value->second);
    } else {
      out.append(text.substr(open, close - open + 1)); // not ours: kept
    }
    at = close + 1;
  }
  out.append(text.substr(at));
  return out;
}

// A text shown to the user that the log records too: the log stays English.
struct LoggedText {
  std::string shown;   // in the user's language
  std::string english; // for the log
};

[[nodiscard]] inline LoggedText trLogged(const char* text, Placeholders values = {}) {
  return {fill(tr(text), values), fill(text, values)};
}

} // namespace tarvo::platform
