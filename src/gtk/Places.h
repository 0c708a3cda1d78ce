#pragma once

#include <filesystem>

namespace tarvo::platform::gtk {

// The folder that holds the running executable, from /proc/self/exe; empty
// when it cannot be read.
[[nodiscard]] std::filesystem::path executableFolder();

// Where the web process extension lives: lib/web-extensions beside the bin
// folder of the executable, as the bundle and an install lay it out.
[[nodiscard]] std::filesystem::path webExtensionsFolder();

// The real user's home from the passwd entry (never $HOME); empty when the
// entry cannot be read.
[[nodiscard]] std::filesystem::path userHome();

// The application's own state folder: <home>/.local/state/Tarvo Studio.
[[nodiscard]] std::filesystem::path stateFolder();

} // namespace tarvo::platform::gtk
