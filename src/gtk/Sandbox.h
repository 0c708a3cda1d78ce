#pragma once

#include <optional>
#include <string>

namespace tarvo::gtk {

// Why WebKit's sandbox for the web process cannot start here; nothing when
// it can. It needs bubblewrap and xdg-dbus-proxy, and a system that lets this
// user run them: a hardened kernel, a chroot, a container or a security
// policy may not. WebKit aborts the whole application when bubblewrap fails,
// so this runs bubblewrap (and xdg-dbus-proxy inside it) as WebKit does,
// within a short deadline, and the caller runs the web process unsandboxed
// where it fails, as a browser does where no sandbox can be had.
[[nodiscard]] std::optional<std::string> webProcessSandboxMissing();

} // namespace tarvo::gtk
