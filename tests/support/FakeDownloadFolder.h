#pragma once

#include "platform/DownloadFolder.h"

#include <map>
#include <set>
#include <string>

namespace tarvo::test {

// A download folder in memory: file names and their contents. A download's
// temporary is "<tmp N>" until it is moved.
class FakeDownloadFolder : public platform::DownloadFolder {
public:
  std::string path() override { return "/home/ada/Downloads"; }
  std::string createTemporary(std::string& error) override {
    if (!createError.empty()) {
      error = createError;
      return {};
    }
    const std::string name = "<tmp " + std::to_string(++made) + ">";
    files[name] = "";
    return name;
  }
  Move moveTo(const std::string& temporary, const std::string& name, std::string& error) override {
    if (!moveError.empty()) {
      error = moveError;
      return Move::failed;
    }
    if (files.count(name) != 0) {
      return Move::exists;
    }
    files[name] = files[temporary];
    files.erase(temporary);
    return Move::moved;
  }
  void remove(const std::string& temporary) override { files.erase(temporary); }
  int clearLeftovers() override { return leftovers; }

  std::map<std::string, std::string> files;
  int made = 0;
  int leftovers = 0;
  std::string createError;
  std::string moveError;
};

} // namespace tarvo::test
