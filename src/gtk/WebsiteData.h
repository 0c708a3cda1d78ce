#pragma once

#include "gtk/GObjectPtr.h"

#include <webkit2/webkit2.h>

#include <filesystem>

namespace tarvo::gtk {

// Where the page's website data lives (local storage, the engine's
// databases; cookies stay in memory): a folder of this run's own under the
// user's runtime folder, removed when this goes and, after a crash, by the
// next run, so nothing the page stores survives a relaunch. The engine
// refuses every notification in a session it keeps in memory only, so the
// data is kept in a folder rather than in no place at all; where no folder
// can be made, in memory it is.
class WebsiteData {
public:
  WebsiteData();
  ~WebsiteData();
  WebsiteData(const WebsiteData&) = delete;
  WebsiteData& operator=(const WebsiteData&) = delete;

  [[nodiscard]] WebKitWebsiteDataManager* manager() const { return manager_.get(); }

private:
  std::filesystem::path folder_;
  GObjectPtr<WebKitWebsiteDataManager> manager_;
};

} // namespace tarvo::gtk
