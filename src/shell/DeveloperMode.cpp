#include "shell/DeveloperMode.h"

#include <cstring>

namespace tarvo {
namespace {

constexpr std::string_view tokenMark = "#t=";
constexpr std::string_view masked = "[token]";

void mask(std::string& text, std::string_view token) {
  if (token.empty()) {
    return;
  }
  for (std::size_t at = text.find(token); at != std::string::npos;
       at = text.find(token, at + masked.size())) {
    text.replace(at, token.size(), masked);
  }
}

} // namespace

bool developerModeFrom(const char* value) {
  return value != nullptr && std::strcmp(value, "1") == 0;
}

std::string tokenOf(std::string_view windowURL) {
  const std::size_t at = windowURL.find(tokenMark);
  return at == std::string_view::npos ? std::string()
                                      : std::string(windowURL.substr(at + tokenMark.size()));
}

std::string consoleLogLine(const platform::ConsoleMessage& message, std::string_view token) {
  std::string line = "page console " + message.level + ": " + message.text;
  if (!message.source.empty()) {
    line += " (" + message.source + ")";
  }
  mask(line, token);
  return line;
}

} // namespace tarvo
