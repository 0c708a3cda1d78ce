#pragma once

#include "gtk/GObjectPtr.h"

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tarvo::gtk {

// Notifications on the desktop's notification service (the session bus's
// org.freedesktop.Notifications), under the application's name and icon.
// Activating one runs what it was sent with. Where no service answers, a
// notification is dropped and the journal says so. Main thread only.
class DesktopNotifications : public std::enable_shared_from_this<DesktopNotifications> {
public:
  using Handle = std::uint64_t;

  static std::shared_ptr<DesktopNotifications> make(std::string applicationName,
                                                    std::string iconName);
  ~DesktopNotifications();
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  Handle send(const std::string& summary, const std::string& body, std::function<void()> activated);
  // Taken off the desktop (the page closed it).
  void withdraw(Handle handle);

private:
  struct Sent {
    std::uint32_t serverId = 0; // 0 until the service has answered
    std::function<void()> activated;
    bool withdrawn = false;
  };

  DesktopNotifications(std::string applicationName, std::string iconName);
  [[nodiscard]] bool connect();
  void closeOnServer(std::uint32_t serverId);
  static void onSent(GObject* source, GAsyncResult* result, gpointer data);
  static void onSignal(GDBusConnection* connection, const gchar* sender, const gchar* path,
                       const gchar* interface, const gchar* signal, GVariant* parameters,
                       gpointer self);

  std::string applicationName_;
  std::string iconName_;
  GObjectPtr<GDBusConnection> bus_;
  guint subscription_ = 0;
  std::map<Handle, Sent> sent_;
  Handle next_ = 1;
};

} // namespace tarvo::gtk
