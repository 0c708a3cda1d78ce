#include "gtk/DesktopNotifications.h"

#include "gtk/GlibLog.h"
#include "gtk/GlibPtr.h"

#include <cstring>
#include <utility>

namespace tarvo::gtk {
namespace {

constexpr const char* service = "org.freedesktop.Notifications";
constexpr const char* objectPath = "/org/freedesktop/Notifications";
constexpr const char* interfaceName = "org.freedesktop.Notifications";
// The action a click on the notification itself invokes.
constexpr const char* defaultAction = "default";
constexpr int serverChoosesTimeout = -1;

struct PendingSend {
  std::weak_ptr<DesktopNotifications> owner;
  DesktopNotifications::Handle handle;
};

} // namespace

std::shared_ptr<DesktopNotifications> DesktopNotifications::make(std::string applicationName,
                                                                 std::string iconName) {
  return std::shared_ptr<DesktopNotifications>(
      new DesktopNotifications(std::move(applicationName), std::move(iconName)));
}

DesktopNotifications::DesktopNotifications(std::string applicationName, std::string iconName)
    : applicationName_(std::move(applicationName)), iconName_(std::move(iconName)) {}

DesktopNotifications::~DesktopNotifications() {
  if (bus_ && subscription_ != 0) {
    g_dbus_connection_signal_unsubscribe(bus_.get(), subscription_);
  }
}

// The session bus the application registered on; reached on first use.
bool DesktopNotifications::connect() {
  if (bus_) {
    return true;
  }
  GErrorPtr error;
  bus_ = GObjectPtr<GDBusConnection>::adopt(
      g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, OutPtr(error)));
  if (!bus_) {
    g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "no desktop notification: no session bus (%s)",
          error ? error->message : "");
    return false;
  }
  subscription_ = g_dbus_connection_signal_subscribe(bus_.get(), service, interfaceName, nullptr,
                                                     objectPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                     onSignal, this, nullptr);
  return true;
}

DesktopNotifications::Handle DesktopNotifications::send(const std::string& summary,
                                                        const std::string& body,
                                                        std::function<void()> activated) {
  const Handle handle = next_++;
  if (!connect()) {
    return handle;
  }
  sent_[handle] = {0, std::move(activated), false};
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&actions, "s", defaultAction);
  g_variant_builder_add(&actions, "s", applicationName_.c_str());
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  // The desktop entry is named after the application's id, as its icon is.
  g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(iconName_.c_str()));
  g_dbus_connection_call(bus_.get(), service, objectPath, interfaceName, "Notify",
                         g_variant_new("(susssasa{sv}i)", applicationName_.c_str(), 0U,
                                       iconName_.c_str(), summary.c_str(), body.c_str(), &actions,
                                       &hints, serverChoosesTimeout),
                         G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, onSent,
                         new PendingSend{weak_from_this(), handle});
  return handle;
}

void DesktopNotifications::onSent(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<PendingSend> pending(static_cast<PendingSend*>(data));
  GErrorPtr error;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, OutPtr(error));
  auto self = pending->owner.lock();
  if (reply == nullptr) {
    g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "a desktop notification was not shown: %s",
          error ? error->message : "");
    if (self) {
      self->sent_.erase(pending->handle);
    }
    return;
  }
  std::uint32_t id = 0;
  g_variant_get(reply, "(u)", &id);
  g_variant_unref(reply);
  if (!self) {
    return;
  }
  const auto found = self->sent_.find(pending->handle);
  if (found == self->sent_.end()) {
    return;
  }
  if (found->second.withdrawn) {
    self->sent_.erase(found);
    self->closeOnServer(id);
    return;
  }
  found->second.serverId = id;
}

void DesktopNotifications::withdraw(Handle handle) {
  const auto found = sent_.find(handle);
  if (found == sent_.end()) {
    return;
  }
  if (found->second.serverId == 0) {
    found->second.withdrawn = true; // closed once the service has named it
    return;
  }
  closeOnServer(found->second.serverId);
  sent_.erase(found);
}

void DesktopNotifications::closeOnServer(std::uint32_t serverId) {
  g_dbus_connection_call(bus_.get(), service, objectPath, interfaceName, "CloseNotification",
                         g_variant_new("(u)", serverId), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                         nullptr, nullptr, nullptr);
}

void DesktopNotifications::onSignal(GDBusConnection* /*connection*/, const gchar* /*sender*/,
                                    const gchar* /*path*/, const gchar* /*interface*/,
                                    const gchar* signal, GVariant* parameters, gpointer self) {
  auto* me = static_cast<DesktopNotifications*>(self);
  std::uint32_t id = 0;
  const bool invoked = std::strcmp(signal, "ActionInvoked") == 0 &&
                       g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"));
  const bool closed = std::strcmp(signal, "NotificationClosed") == 0 &&
                      g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"));
  if (!invoked && !closed) {
    return;
  }
  const char* action = nullptr;
  if (invoked) {
    g_variant_get(parameters, "(u&s)", &id, &action);
  } else {
    std::uint32_t reason = 0;
    g_variant_get(parameters, "(uu)", &id, &reason);
  }
  for (auto it = me->sent_.begin(); it != me->sent_.end(); ++it) {
    if (it->second.serverId != id || id == 0) {
      continue;
    }
    if (invoked && std::strcmp(action, defaultAction) == 0) {
      auto activated = it->second.activated; // it may send another, or withdraw this
      if (activated) {
        activated();
      }
    } else if (closed) {
      me->sent_.erase(it);
    }
    return;
  }
}

} // namespace tarvo::gtk
