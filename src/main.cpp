// Process entry: the platform's queues and desktop, the supervisor, the one
// application delegate, and the GTK application's loop.
#include "ServiceBackend.h"
#include "gtk/DownloadFolder.h"
#include "gtk/Folders.h"
#include "gtk/GlibLog.h"
#include "gtk/GlibMainQueue.h"
#include "gtk/GtkUi.h"
#include "gtk/WorkerPool.h"
#include "shell/AppDelegate.h"
#include "shell/DeveloperMode.h"
#include "supervisor/Service.h"
#include "supervisor/UserFolders.h"

#include <glib.h>

#include <cstdlib>
#include <memory>

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

} // namespace

int main() {
  using namespace tarvo;

  // Set, these make WebKit open a port that lists the window's address, its
  // install token included, to anyone on this machine. Cleared before any
  // thread can read the environment; the backend inherits them cleared too.
  ::unsetenv("WEBKIT_INSPECTOR_SERVER");      // NOLINT(concurrency-mt-unsafe): no thread yet
  ::unsetenv("WEBKIT_INSPECTOR_HTTP_SERVER"); // NOLINT(concurrency-mt-unsafe): no thread yet
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread yet
  const bool developer = developerModeFrom(std::getenv(developerVariable));

  g_set_prgname(TARVO_APP_ID);
  g_set_application_name("Tarvo Studio");

  auto mainQueue = std::make_shared<gtk::GlibMainQueue>();
  auto workers = std::make_shared<gtk::WorkerPool>();
  // One thread of its own for the quit decision: starts and pings may hold
  // every worker above for tens of seconds.
  auto quitWorker = std::make_shared<gtk::WorkerPool>(1);
  auto service = Service::make(mainQueue);
  auto backend = backendFor(service);
  auto log =
      std::make_shared<gtk::GlibLog>([service](std::string_view line) { service->note(line); });
  auto ui = std::make_shared<gtk::GtkUi>(TARVO_APP_ID, toolkitFolders(UserFolders::current()), log);
  auto downloads =
      std::make_shared<gtk::DownloadFolder>(UserFolders::current().userHome / "Downloads");
  auto delegate = AppDelegate::make(
      backend, {mainQueue, workers, ui, quitWorker, log, std::move(downloads), developer});
  ui->attach(delegate);

  const int status = ui->run();

  // Jobs still queued are dropped; the one running (if any) finishes first.
  quitWorker->shutdown();
  workers->shutdown();
  return status;
}
