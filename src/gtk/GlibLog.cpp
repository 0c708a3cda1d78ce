#include "gtk/GlibLog.h"

#include <glib.h>

#include <string>

namespace tarvo::gtk {

void GlibLog::note(std::string_view line) {
  if (serviceLog_) {
    serviceLog_(line);
  }
}

void GlibLog::warn(std::string_view line) {
  const std::string text(line);
  g_log(domain, G_LOG_LEVEL_WARNING, "%s", text.c_str());
}

} // namespace tarvo::gtk
