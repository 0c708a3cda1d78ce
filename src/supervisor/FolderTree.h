#pragma once

#include "supervisor/UniqueFd.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvo {

// Walking and removing folders by descriptor, where someone else may be
// changing them meanwhile (a page that broke out of its web process can
// write under ~/.cache). Nothing here follows a symbolic link, and nothing
// opens an item that is not a folder, so a FIFO never blocks a walk.

// The folder `name` inside the open folder `parent`; invalid when it is
// missing, a link, or anything but a folder.
[[nodiscard]] UniqueFd openFolderAt(int parent, const std::string& name);

// The names in the open folder `folder`, without "." and "..". Lists the
// folder from its start only once per descriptor (they share a position).
[[nodiscard]] std::optional<std::vector<std::string>> namesIn(int folder);

// Removes `name` from the open folder `parent`: a folder with everything in
// it, anything else (a link included) as itself. What stands deeper than a
// sane tree is left. Whether `name` is gone.
bool removeTreeAt(int parent, const std::string& name);

// The same for `path`: its last component is removed as above; the folders
// that lead to it are the user's own and are followed.
bool removeTree(const std::filesystem::path& path);

} // namespace tarvo
