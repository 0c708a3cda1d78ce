#pragma once

#include <filesystem>

namespace tarvo::gtk {

// The folders the toolkit layer keeps and finds its files in. The process
// entry hands them in, from the same user and bundle the supervisor uses; an
// empty path means that thing is done without (no remembered frame, no icon
// of the bundle, no web process extension).
struct Folders {
  std::filesystem::path state;         // the application's state: the window's frame
  std::filesystem::path icons;         // searched for the application's icon
  std::filesystem::path webExtensions; // the web process extension
};

} // namespace tarvo::gtk
