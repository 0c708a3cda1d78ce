#include "protocol/Url.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace tarvo::protocol {
namespace {

bool isAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHex(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
int hexValue(char c) {
  if (isDigit(c)) {
    return c - '0';
  }
  return lower(c) - 'a' + 10;
}

// The engine drops leading and trailing controls and spaces, and every tab
// and line break anywhere in the text, before it reads anything.
std::string withoutIgnoredCharacters(std::string_view url) {
  std::size_t begin = 0;
  std::size_t end = url.size();
  while (begin < end && static_cast<unsigned char>(url[begin]) <= 0x20) {
    ++begin;
  }
  while (end > begin && static_cast<unsigned char>(url[end - 1]) <= 0x20) {
    --end;
  }
  std::string out;
  out.reserve(end - begin);
  for (std::size_t i = begin; i < end; ++i) {
    const char c = url[i];
    if (c != '\t' && c != '\n' && c != '\r') {
      out += c;
    }
  }
  return out;
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool isForbiddenInDomain(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u == 0x7f) {
    return true;
  }
  constexpr std::string_view forbidden = "#%/:<>?@[\\]^|";
  return forbidden.find(c) != std::string_view::npos;
}

// One part of an IPv4 address: decimal, octal with a leading 0, or hex with 0x.
std::optional<std::uint64_t> ipv4Number(std::string_view part) {
  if (part.empty()) {
    return std::nullopt;
  }
  int radix = 10;
  if (part.size() >= 2 && part[0] == '0' && lower(part[1]) == 'x') {
    part.remove_prefix(2);
    radix = 16;
  } else if (part.size() >= 2 && part[0] == '0') {
    part.remove_prefix(1);
    radix = 8;
  }
  std::uint64_t value = 0;
  for (const char c : part) {
    int digit = 0;
    if (radix == 16 && isHex(c)) {
      digit = hexValue(c);
    } else if (isDigit(c) && c - '0' < radix) {
      digit = c - '0';
    } else {
      return std::nullopt;
    }
    value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digit);
    if (value > 0xffffffffULL) {
      value = 0x100000000ULL; // too big for any part; keeps the arithmetic bounded
    }
  }
  return value;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

// A host whose last label is a number is an IPv4 address to the engine, and
// one that does not parse as such is refused.
bool endsInNumber(std::string_view host) {
  auto parts = split(host, '.');
  if (parts.back().empty()) {
    if (parts.size() == 1) {
      return false;
    }
    parts.pop_back();
  }
  const std::string_view last = parts.back();
  if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) {
    return true;
  }
  if (last.size() >= 2 && last[0] == '0' && lower(last[1]) == 'x') {
    return last.substr(2).find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
  }
  return false;
}

bool isValidIpv4(std::string_view host) {
  auto parts = split(host, '.');
  if (parts.back().empty() && parts.size() > 1) {
    parts.pop_back();
  }
  if (parts.size() > 4) {
    return false;
  }
  std::vector<std::uint64_t> numbers;
  for (const auto part : parts) {
    const auto number = ipv4Number(part);
    if (!number) {
      return false;
    }
    numbers.push_back(*number);
  }
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255) {
      return false;
    }
  }
  const std::uint64_t limit = 1ULL << (8 * (5 - numbers.size()));
  return numbers.back() < limit;
}

// Enough of an IPv6 literal to tell a plausible one from garbage; such a
// host is never the backend's, so the details do not change a decision.
bool isPlausibleIpv6(std::string_view inner) {
  return inner.find(':') != std::string_view::npos &&
         inner.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

// The host as the engine reads it, or nothing when the engine refuses it.
std::optional<std::string> parseHost(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  if (text.front() == '[') {
    if (text.size() < 3 || text.back() != ']' ||
        !isPlausibleIpv6(text.substr(1, text.size() - 2))) {
      return std::nullopt;
    }
    std::string host;
    for (const char c : text) {
      host += lower(c);
    }
    return host;
  }
  const std::string decoded = percentDecoded(text);
  bool ascii = true;
  for (const char c : decoded) {
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  }
  if (!ascii) {
    // The engine maps it through IDNA first; whatever comes out, the text is
    // not "127.0.0.1", and the browser may judge it for itself.
    return decoded;
  }
  std::string host;
  for (const char c : decoded) {
    if (isForbiddenInDomain(c)) {
      return std::nullopt;
    }
    host += lower(c);
  }
  if (endsInNumber(host) && !isValidIpv4(host)) {
    return std::nullopt;
  }
  return host;
}

std::optional<int> parsePort(std::string_view digits, bool& ok) {
  ok = true;
  if (digits.empty()) {
    return std::nullopt;
  }
  long value = 0;
  for (const char c : digits) {
    if (!isDigit(c)) {
      ok = false;
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
    if (value > 65535) {
      ok = false;
      return std::nullopt;
    }
  }
  return static_cast<int>(value);
}

} // namespace

std::optional<Url> Url::parse(std::string_view text) {
  const std::string clean = withoutIgnoredCharacters(text);
  const std::size_t colon = clean.find(':');
  if (clean.empty() || !isAlpha(clean[0]) || colon == std::string::npos) {
    return std::nullopt;
  }
  Url url;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = clean[i];
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
      return std::nullopt;
    }
    url.scheme_ += lower(c);
  }
  std::string_view rest = std::string_view(clean).substr(colon + 1);
  rest = rest.substr(0, rest.find('#'));
  if (!url.isWeb()) {
    return url;
  }

  std::size_t slashes = 0;
  while (slashes < rest.size() && (rest[slashes] == '/' || rest[slashes] == '\\')) {
    ++slashes;
  }
  url.twoSlashes_ = slashes >= 2;
  rest.remove_prefix(slashes);

  const std::string_view authority = rest.substr(0, rest.find_first_of("/\\?"));
  const std::size_t at = authority.rfind('@');
  const std::string_view hostAndPort =
      at == std::string_view::npos ? authority : authority.substr(at + 1);

  // A colon inside brackets belongs to an IPv6 literal, not to the port.
  bool inBrackets = false;
  std::size_t portColon = std::string_view::npos;
  for (std::size_t i = 0; i < hostAndPort.size() && portColon == std::string_view::npos; ++i) {
    if (hostAndPort[i] == '[') {
      inBrackets = true;
    } else if (hostAndPort[i] == ']') {
      inBrackets = false;
    } else if (hostAndPort[i] == ':' && !inBrackets) {
      portColon = i;
    }
  }
  auto host = parseHost(hostAndPort.substr(0, portColon));
  if (!host) {
    return std::nullopt;
  }
  url.host_ = std::move(*host);
  if (portColon != std::string_view::npos) {
    bool ok = true;
    url.port_ = parsePort(hostAndPort.substr(portColon + 1), ok);
    if (!ok) {
      return std::nullopt;
    }
  }
  return url;
}

int Url::effectivePort() const {
  if (port_) {
    return *port_;
  }
  return scheme_ == "https" ? 443 : 80;
}

bool Url::isSendable(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) {
      return false;
    }
  }
  const auto url = parse(text);
  return url && url->isWeb();
}

} // namespace tarvo::protocol
