#include "gtk/GlibMainQueue.h"

#include <glib.h>

#include <cmath>
#include <memory>
#include <utility>

namespace tarvo::gtk {

namespace {

gboolean runOnce(gpointer data) {
  auto* job = static_cast<platform::Job*>(data);
  if (*job) {
    (*job)();
  }
  return G_SOURCE_REMOVE;
}

void freeJob(gpointer data) {
  delete static_cast<platform::Job*>(data);
}

} // namespace

// Both kinds of source use the default priority, so immediate and delayed
// jobs keep the order in which they fall due, ahead of GTK's redraw idles.

void GlibMainQueue::post(platform::Job job) {
  // g_idle_add_full attaches to the default context, which is safe from any
  // thread and wakes the loop.
  g_idle_add_full(G_PRIORITY_DEFAULT, runOnce, new platform::Job(std::move(job)), freeJob);
}

void GlibMainQueue::postAfter(double seconds, platform::Job job) {
  if (!(seconds > 0.0)) {
    post(std::move(job));
    return;
  }
  const double ms = std::ceil(seconds * 1000.0);
  const auto interval = ms > double(G_MAXUINT) ? G_MAXUINT : static_cast<guint>(ms);
  g_timeout_add_full(G_PRIORITY_DEFAULT, interval, runOnce, new platform::Job(std::move(job)),
                     freeJob);
}

} // namespace tarvo::gtk
