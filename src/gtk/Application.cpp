#include "gtk/Application.h"

#include "gtk/GlibLog.h"
#include "gtk/GlibPtr.h"
#include "platform/Translate.h"

#include <glib-unix.h>

#include <csignal>
#include <string>
#include <utility>

#ifndef TARVO_VERSION
#define TARVO_VERSION "0"
#endif

namespace tarvo::gtk {

namespace {

constexpr const char* inhibitReason = "an approved Tarvo pipeline may be running";

// A window class as GDK makes one from a program's name.
std::string capitalised(const char* name) {
  std::string text = name != nullptr ? name : "";
  if (!text.empty()) {
    text[0] = g_ascii_toupper(text[0]);
  }
  return text;
}

} // namespace

// The application object exists from the start (GTK itself is only set up
// at "startup"); registration, and with it single instance, happens once
// the command line is answered.
Application::Application(std::string id, std::filesystem::path icons)
    : id_(std::move(id)), icons_(std::move(icons)),
      app_(GObjectPtr<GtkApplication>::adopt(
          gtk_application_new(id_.c_str(), G_APPLICATION_DEFAULT_FLAGS))) {
  // So the session manager tells us before the session ends ("query-end").
  g_object_set(app_.get(), "register-session", TRUE, nullptr);
  versionHelp_ = platform::tr("Show the version and quit");
  const std::array<GOptionEntry, 2> options = {{
      {"version", 0, 0, G_OPTION_ARG_NONE, nullptr, versionHelp_.c_str(), nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
  }};
  // Beside them GTK reads its own (--display and the like), and opens the
  // display only at start-up.
  g_application_add_main_option_entries(G_APPLICATION(app_.get()), options.data());
  g_signal_connect(app_.get(), "handle-local-options", G_CALLBACK(onLocalOptions), this);
  g_signal_connect(app_.get(), "startup", G_CALLBACK(onStartup), this);
  g_signal_connect(app_.get(), "activate", G_CALLBACK(onActivate), this);
  g_signal_connect(app_.get(), "query-end", G_CALLBACK(onQueryEnd), this);
  g_signal_connect(app_.get(), "shutdown", G_CALLBACK(onShutdown), this);
}

Application::~Application() {
  for (guint& source : quitSignals_) {
    if (source != 0) {
      g_source_remove(std::exchange(source, 0U));
    }
  }
  if (app_) {
    g_signal_handlers_disconnect_by_data(app_.get(), this);
  }
}

int Application::run(int argc, char** argv, std::function<void()> launching) {
  launching_ = std::move(launching);
  return g_application_run(G_APPLICATION(app_.get()), argc, argv);
}

// The options are read; an unknown one has already ended the process with
// GLib's own short message and status 1, and --help with its list.
gint Application::onLocalOptions(GApplication* app, GVariantDict* options, gpointer self) {
  auto* me = static_cast<Application*>(self);
  if (g_variant_dict_contains(options, "version")) {
    const char* name = g_get_application_name();
    g_print("%s %s\n", name != nullptr ? name : "", TARVO_VERSION);
    return 0;
  }
  // From here on the program is the desktop's application: the name its
  // windows are known by (their class, matched to the desktop entry), unless
  // --class named another class.
  const std::string derived = capitalised(g_get_prgname());
  g_set_prgname(me->id_.c_str());
  const char* windowClass = gdk_get_program_class();
  if (windowClass == nullptr || derived == windowClass) {
    gdk_set_program_class(capitalised(me->id_.c_str()).c_str());
  }

  GErrorPtr error;
  if (!g_application_register(app, nullptr, OutPtr(error))) {
    // A session bus that cannot be used (none, or it refused the name):
    // start all the same, as a lone instance.
    g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "running as a lone instance: %s",
          error ? error->message : "the session bus could not be used");
    error.reset();
    g_application_set_flags(app, G_APPLICATION_NON_UNIQUE);
    if (!g_application_register(app, nullptr, OutPtr(error))) {
      g_printerr("%s: %s\n", g_get_prgname(), error ? error->message : "no registration");
      return 1;
    }
  }
  if (!g_application_get_is_remote(app) && me->launching_) {
    std::exchange(me->launching_, nullptr)();
  }
  return -1; // on to start-up, or to the instance already running
}

void Application::onStartup(GApplication* app, gpointer self) {
  auto* me = static_cast<Application*>(self);
  // The application lives on without windows until it is told to quit.
  g_application_hold(app);
  me->watchQuitSignals();
  // An installed copy finds its icon in the desktop's theme; one run from its
  // build folder finds it in the bundle.
  if (!me->icons_.empty()) {
    gtk_icon_theme_append_search_path(gtk_icon_theme_get_default(), me->icons_.c_str());
  }
  gtk_window_set_default_icon_name(TARVO_APP_ID);
}

// The first activation is the launch; every later one is the user launching
// the application again while it runs.
void Application::onActivate(GApplication* /*app*/, gpointer self) {
  auto* me = static_cast<Application*>(self);
  auto delegate = me->delegate_.lock();
  if (!delegate) {
    return;
  }
  if (!me->launched_) {
    me->launched_ = true;
    delegate->applicationDidFinishLaunching();
    return;
  }
  const bool visible = me->hooks_.windowVisible && me->hooks_.windowVisible();
  delegate->applicationShouldHandleReopen(visible);
}

void Application::onQueryEnd(GtkApplication* /*app*/, gpointer self) {
  static_cast<Application*>(self)->requestQuit();
}

void Application::onShutdown(GApplication* /*app*/, gpointer self) {
  auto* me = static_cast<Application*>(self);
  if (me->hooks_.shuttingDown) {
    me->hooks_.shuttingDown();
  }
}

gboolean Application::onQuitSignal(gpointer self) {
  static_cast<Application*>(self)->requestQuit();
  return G_SOURCE_CONTINUE; // a later signal asks again
}

// A closed terminal (SIGHUP) is a request to quit like any other, never an
// end that skips stopping the backend.
void Application::watchQuitSignals() {
  const std::array<int, 3> numbers = {SIGTERM, SIGINT, SIGHUP};
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (quitSignals_.at(i) == 0) {
      quitSignals_.at(i) = g_unix_signal_add(numbers.at(i), onQuitSignal, this);
    }
  }
}

void Application::requestQuit() {
  if (quitting_) {
    return;
  }
  auto delegate = delegate_.lock();
  if (!delegate) {
    finishQuit();
    return;
  }
  switch (delegate->applicationShouldTerminate()) {
  case platform::TerminateReply::now:
    finishQuit();
    break;
  case platform::TerminateReply::later:
    awaitingReply_ = true;
    break;
  case platform::TerminateReply::cancel:
    break;
  }
}

void Application::replyToTerminate(bool quit) {
  if (!awaitingReply_) {
    return; // no deferred decision is open
  }
  awaitingReply_ = false;
  if (quit) {
    finishQuit();
  }
}

void Application::finishQuit() {
  if (quitting_) {
    return;
  }
  quitting_ = true;
  if (auto delegate = delegate_.lock()) {
    delegate->applicationWillTerminate();
  }
  g_application_quit(G_APPLICATION(app_.get()));
}

void Application::inhibitLogout(bool on) {
  if (on && inhibitor_ == 0) {
    GtkWindow* window = hooks_.window ? hooks_.window() : nullptr;
    inhibitor_ =
        gtk_application_inhibit(app_.get(), window, GTK_APPLICATION_INHIBIT_LOGOUT, inhibitReason);
    if (inhibitor_ == 0) {
      g_log(GlibLog::domain, G_LOG_LEVEL_WARNING,
            "the desktop would not hold off the end of the session while the service runs");
    }
  } else if (!on && inhibitor_ != 0) {
    gtk_application_uninhibit(app_.get(), std::exchange(inhibitor_, 0U));
  }
}

} // namespace tarvo::gtk
