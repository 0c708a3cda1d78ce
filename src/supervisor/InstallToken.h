#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace tarvo {

// The install token the backend writes into the data folder. Read afresh on
// every call, so a token written after start-up is seen by the next request.
class InstallToken {
public:
  explicit InstallToken(std::filesystem::path file) : file_(std::move(file)) {}

  // The file's text without white space and line ends at either end; empty
  // ("no token yet") when the file is missing, unreadable, not UTF-8, too
  // big, or holds a control character inside the token.
  [[nodiscard]] std::string read() const;

private:
  std::filesystem::path file_;
};

} // namespace tarvo
