#include "supervisor/InstallToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo {

namespace {

// A token is a short line of text; anything bigger is not one.
constexpr std::size_t maxTokenFile = std::size_t{64} * 1024;

// The whole file, or nothing when it is not a regular file of a sane size.
// O_NONBLOCK keeps a FIFO planted in its place from blocking the open.
std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return std::nullopt;
  }
  std::optional<std::string> result;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uintmax_t>(info.st_size) <= maxTokenFile) {
    std::string text;
    char chunk[4096];
    bool failed = false;
    for (;;) {
      const ssize_t got = ::read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        failed = got < 0;
        break;
      }
      text.append(chunk, static_cast<std::size_t>(got));
      if (text.size() > maxTokenFile) { // grew after fstat
        failed = true;
        break;
      }
    }
    if (!failed) {
      result = std::move(text);
    }
  }
  ::close(fd);
  return result;
}

// Length of the well-formed UTF-8 sequence at `at`, with its code point; 0
// for an ill-formed one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t decodeOne(std::string_view text, std::size_t at, char32_t& point) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    point = lead;
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    smallest = 0x80;
    point = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    smallest = 0x800;
    point = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    smallest = 0x10000;
    point = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return 0;
    }
    point = (point << 6) | (byte(at + i) & 0x3F);
  }
  if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return 0;
  }
  return length;
}

// The Unicode white space and line separators: the Z categories plus
// U+0009 to U+000D and U+0085.
bool isWhitespaceOrNewline(char32_t point) {
  return (point >= 0x09 && point <= 0x0D) || point == 0x20 || point == 0x85 || point == 0xA0 ||
         point == 0x1680 || (point >= 0x2000 && point <= 0x200A) || point == 0x2028 ||
         point == 0x2029 || point == 0x202F || point == 0x205F || point == 0x3000;
}

bool isControl(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

// The text without white space and line ends at either end; nothing when it
// is not UTF-8 or a control character remains inside (a line break there
// would let the file add headers to every request that carries the token).
std::optional<std::string> trimmedToken(std::string_view text) {
  std::size_t first = text.size();
  std::size_t end = 0;
  bool control = false;
  for (std::size_t at = 0; at < text.size();) {
    char32_t point = 0;
    const std::size_t length = decodeOne(text, at, point);
    if (length == 0) {
      return std::nullopt;
    }
    if (!isWhitespaceOrNewline(point)) {
      first = std::min(first, at);
      end = at + length;
    }
    at += length;
  }
  if (first >= end) {
    return std::string();
  }
  for (std::size_t at = first; at < end;) {
    char32_t point = 0;
    at += decodeOne(text, at, point);
    control = control || isControl(point);
  }
  if (control) {
    return std::nullopt;
  }
  return std::string(text.substr(first, end - first));
}

} // namespace

std::string InstallToken::read() const {
  const std::optional<std::string> text = readSmallFile(file_);
  if (!text) {
    return {};
  }
  return trimmedToken(*text).value_or(std::string());
}

} // namespace tarvo
