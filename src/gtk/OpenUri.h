#pragma once

#include <string>

namespace tarvo::gtk {

// Hands a web address, a file:// URL or an absolute path to the user's
// default application for it, without waiting; a failure is ignored.
void openUri(const std::string& target);

} // namespace tarvo::gtk
