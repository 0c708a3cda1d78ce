// Process entry: the user's language, the command line, and then, in the
// first instance only, the platform's queues and desktop, the supervisor,
// the one application delegate, and the GTK application's loop.
#include "ServiceBackend.h"
#include "gtk/DownloadFolder.h"
#include "gtk/Folders.h"
#include "gtk/GlibLog.h"
#include "gtk/GlibMainQueue.h"
#include "gtk/GtkUi.h"
#include "gtk/WorkerPool.h"
#include "platform/Translate.h"
#include "shell/AppDelegate.h"
#include "shell/DeveloperMode.h"
#include "supervisor/Service.h"
#include "supervisor/UserFolders.h"

#include <glib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <libintl.h>
#include <memory>
#include <system_error>

namespace {

// The toolkit's folders, under the same user home and bundle the supervisor
// found: the state folder beside the log, the bundle's icons and extension.
tarvo::gtk::Folders toolkitFolders(const tarvo::UserFolders& places) {
  tarvo::gtk::Folders folders;
  folders.state = places.windowState;
  if (!places.resources.empty()) {
    const auto bundle = places.resources.parent_path();
    folders.icons = bundle / "share" / "icons";
    folders.webExtensions = bundle / "lib" / "web-extensions";
  }
  return folders;
}

// The translations: the bundle's own when it runs from the build, the
// prefix's once installed (where the bundle is <prefix>/lib/tarvo-studio).
void useUserLanguage(const tarvo::UserFolders& places) {
  // The first thing the process does, before any thread exists.
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  (void)std::setlocale(LC_ALL, "");
  if (places.resources.empty()) {
    return;
  }
  const auto bundle = places.resources.parent_path();
  std::error_code error;
  auto folder = bundle / "share" / "locale";
  if (!std::filesystem::is_directory(folder, error)) {
    folder = bundle.parent_path().parent_path() / "share" / "locale";
  }
  bindtextdomain(tarvo::platform::textDomain, folder.c_str());
  bind_textdomain_codeset(tarvo::platform::textDomain, "UTF-8");
}

// What runs the application, made only once the command line is answered
// and this is the first instance; kept until the loop has ended.
struct Running {
  std::shared_ptr<tarvo::gtk::WorkerPool> workers;
  std::shared_ptr<tarvo::gtk::WorkerPool> quitWorker;
  std::shared_ptr<tarvo::AppDelegate> delegate;
};

} // namespace

int main(int argc, char* argv[]) {
  using namespace tarvo;

  // Set, these make WebKit open a port that lists the window's address, its
  // install token included, to anyone on this machine. Cleared before any
  // thread can read the environment; the backend inherits them cleared too.
  ::unsetenv("WEBKIT_INSPECTOR_SERVER");      // NOLINT(concurrency-mt-unsafe): no thread yet
  ::unsetenv("WEBKIT_INSPECTOR_HTTP_SERVER"); // NOLINT(concurrency-mt-unsafe): no thread yet
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread yet
  const bool developer = developerModeFrom(std::getenv(developerVariable));

  const UserFolders& places = UserFolders::current();
  useUserLanguage(places);
  g_set_application_name("Tarvo Studio");

  auto ui = std::make_shared<gtk::GtkUi>(TARVO_APP_ID, toolkitFolders(places));
  Running running;
  const int status = ui->run(argc, argv, [&running, &ui, &places, developer] {
    auto mainQueue = std::make_shared<gtk::GlibMainQueue>();
    running.workers = std::make_shared<gtk::WorkerPool>();
    // One thread of its own for the quit decision: starts and pings may hold
    // every worker above for tens of seconds.
    running.quitWorker = std::make_shared<gtk::WorkerPool>(1);
    auto service = Service::make(mainQueue);
    auto log =
        std::make_shared<gtk::GlibLog>([service](std::string_view line) { service->note(line); });
    auto downloads = std::make_shared<gtk::DownloadFolder>(places.userHome / "Downloads");
    running.delegate =
        AppDelegate::make(backendFor(service), {mainQueue, running.workers, ui, running.quitWorker,
                                                log, std::move(downloads), developer});
    ui->attach(running.delegate, log);
  });

  // Jobs still queued are dropped; the one running (if any) finishes first.
  if (running.quitWorker) {
    running.quitWorker->shutdown();
  }
  if (running.workers) {
    running.workers->shutdown();
  }
  return status;
}
