// Process entry: the platform's queues and desktop, the supervisor, the one
// application delegate, and the GTK application's loop.
#include "gtk/GlibMainQueue.h"
#include "gtk/GtkUi.h"
#include "gtk/WorkerPool.h"
#include "shell/AppDelegate.h"
#include "shell/Backend.h"
#include "supervisor/Service.h"

#include <glib.h>

#include <memory>

int main() {
  using namespace tarvo;

  g_set_prgname(TARVO_APP_ID);
  g_set_application_name("Tarvo Studio");

  auto mainQueue = std::make_shared<platform::gtk::GlibMainQueue>();
  auto workers = std::make_shared<platform::gtk::WorkerPool>();
  auto service = Service::make(mainQueue);
  auto backend = backendFor(service);
  auto ui = std::make_shared<platform::gtk::GtkUi>(TARVO_APP_ID);
  auto delegate = AppDelegate::make(backend, {mainQueue, workers, ui});
  ui->attach(delegate);

  const int status = ui->run();

  // Jobs still queued are dropped; the one running (if any) finishes first.
  workers->shutdown();
  return status;
}
