#pragma once

#include <filesystem>

namespace tarvo {

// The user's folders the application uses and the bundle's resources. The
// home is the passwd entry of the real user id, never $HOME; the others are
// the fixed XDG defaults under it (no environment variable is read).
struct UserFolders {
  std::filesystem::path userHome;
  std::filesystem::path resources; // the bundle's Resources folder; empty when none
  std::filesystem::path data;      // ~/.local/share/Tarvo Studio
  std::filesystem::path log;       // ~/.local/state/Tarvo Studio.log
  // The backend's bytecode is run, so it stays out of ~/.cache, which the web
  // process's sandbox may write.
  std::filesystem::path bytecodeCache;    // ~/.local/state/Tarvo Studio
  std::filesystem::path windowState;      // ~/.local/state/Tarvo Studio
  std::filesystem::path oldBytecodeCache; // ~/.cache/Tarvo Studio, of earlier versions

  // The folders of a user whose home is `userHome`; tests point it elsewhere.
  [[nodiscard]] static UserFolders under(const std::filesystem::path& userHome,
                                         std::filesystem::path resources);

  // This process's user and bundle, computed once on first use (from any thread).
  [[nodiscard]] static const UserFolders& current();
};

} // namespace tarvo
