#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo {

// What the backend is told about where it lives.
struct BackendPlaces {
  std::filesystem::path serviceFolder; // its working directory and import path
  std::filesystem::path home;          // the data folder
  std::filesystem::path bytecodeCache; // its bytecode goes under pycache/ here
  std::filesystem::path userHome;
};

// A path as the backend is told it: as text, without the trailing slash a
// folder path may carry.
[[nodiscard]] std::string plainPath(const std::filesystem::path& path);

// The backend's environment: `inherited` ("NAME=value" entries) with
// PYTHONPATH, PYTHONUNBUFFERED, TARVO_STUDIO_HOME, TARVO_STUDIO_PARENT,
// PYTHONPYCACHEPREFIX and PATH set, in that order, each replacing an inherited
// value. PATH puts the usual tool folders and ~/.local/bin before the
// inherited PATH, or before "/usr/bin:/bin" when none was inherited.
[[nodiscard]] std::vector<std::string>
backendEnvironment(std::vector<std::string> inherited, const BackendPlaces& places, pid_t parent);

} // namespace tarvo
