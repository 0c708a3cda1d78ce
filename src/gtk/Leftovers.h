#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvo::gtk {

// What a run keeps in a shared folder carries its process id in its name
// ("<prefix><pid>-..."), so that what a run left when it ended without
// clearing up (a crash, a kill) can be told from what a running one uses.

// `prefix` followed by this process's id and a dash.
[[nodiscard]] std::string runName(std::string_view prefix);

// Removes every entry of `folder` named by runName(prefix) for a run that
// has ended (folders with what they hold; a symbolic link itself, never what
// it points to). Called before this run makes any: an entry with this
// process's id is a former run's too. The count removed.
int clearLeftovers(const std::filesystem::path& folder, std::string_view prefix);

} // namespace tarvo::gtk
