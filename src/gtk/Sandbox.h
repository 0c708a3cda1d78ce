#pragma once

namespace tarvo::gtk {

// Whether WebKit's sandbox for the web process can start here. It needs
// bubblewrap and xdg-dbus-proxy, and a kernel that lets this user make a user
// namespace: a hardened kernel, or a chroot, does not. Without them WebKit
// aborts the whole application, so the caller runs the web process
// unsandboxed instead, as a browser does where no sandbox can be had.
[[nodiscard]] bool webProcessSandboxCanStart();

} // namespace tarvo::gtk
