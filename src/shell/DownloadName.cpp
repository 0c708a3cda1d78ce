#include "shell/DownloadName.h"

#include <cstddef>

namespace tarvo {
namespace {

// Length of the UTF-8 sequence that starts at `i` and its code point, or 0
// for a byte that starts no valid sequence (overlong forms and surrogates
// included).
std::size_t decode(std::string_view text, std::size_t i, char32_t& point) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    point = lead;
    return 1;
  }
  if ((lead & 0xE0U) == 0xC0U) {
    length = 2;
    point = lead & 0x1FU;
    minimum = 0x80;
  } else if ((lead & 0xF0U) == 0xE0U) {
    length = 3;
    point = lead & 0x0FU;
    minimum = 0x800;
  } else if ((lead & 0xF8U) == 0xF0U) {
    length = 4;
    point = lead & 0x07U;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0U) != 0x80U) {
      return 0;
    }
    point = (point << 6U) | (next & 0x3FU);
  }
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  return point < minimum || point > 0x10FFFF || surrogate ? 0 : length;
}

// Controls, and the marks that turn the direction of text around so that a
// name reads otherwise than it is ("gpj.exe" shown as "exe.jpg").
bool dropped(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F) || point == 0x200E || point == 0x200F ||
         (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) ||
         point == 0xFEFF;
}

// The length of `text` cut to at most `bytes` without splitting a character.
std::size_t fitting(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) {
    return text.size();
  }
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
    --end;
  }
  return end;
}

// Where the extension starts: the last dot, or the one before ".tar." so
// that "archive.tar.gz" keeps both; npos when there is none.
std::size_t extensionStart(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    return std::string_view::npos;
  }
  const std::size_t tar = name.rfind(".tar.");
  return tar != std::string_view::npos && tar > 0 && tar + 4 == dot ? tar : dot;
}

// An extension longer than this is part of the name, not a type.
constexpr std::size_t longestExtension = 32;

// `stem` + `middle` + `extension` within the limit, the stem shortened.
std::string joined(std::string_view stem, std::string_view middle, std::string_view extension) {
  if (extension.size() > longestExtension) {
    return joined(std::string(stem) + std::string(extension), middle, "");
  }
  const std::size_t room = maxFileNameBytes - middle.size() - extension.size();
  std::string out(stem.substr(0, fitting(stem, room)));
  out += middle;
  out += extension;
  return out;
}

} // namespace

std::string cleanDownloadName(std::string_view suggested) {
  std::string out;
  for (std::size_t i = 0; i < suggested.size();) {
    char32_t point = 0;
    const std::size_t length = decode(suggested, i, point);
    if (length == 0) {
      out += '_';
      ++i;
      continue;
    }
    if (point == '/' || point == '\\') {
      out += '_';
    } else if (point == '.' && !out.empty() && out.back() == '.') {
      // ".." becomes "."
    } else if (!dropped(point)) {
      out.append(suggested.substr(i, length));
    }
    i += length;
  }
  const std::size_t begin = out.find_first_not_of(". ");
  const std::size_t end = out.find_last_not_of(' ');
  out = begin == std::string::npos ? std::string() : out.substr(begin, end + 1 - begin);
  if (out.empty()) {
    return "download";
  }
  if (out.size() <= maxFileNameBytes) {
    return out;
  }
  const std::size_t ext = extensionStart(out);
  const std::string_view view(out);
  return ext == std::string::npos ? std::string(view.substr(0, fitting(view, maxFileNameBytes)))
                                  : joined(view.substr(0, ext), "", view.substr(ext));
}

std::string numberedName(const std::string& name, int n) {
  if (n <= 0) {
    return name;
  }
  const std::string middle = " (" + std::to_string(n) + ")";
  const std::size_t ext = extensionStart(name);
  const std::string_view view(name);
  return ext == std::string::npos ? joined(view, middle, "")
                                  : joined(view.substr(0, ext), middle, view.substr(ext));
}

} // namespace tarvo
