#pragma once

#include "gtk/GObjectPtr.h"
#include "platform/Delegate.h"

#include <webkit2/webkit2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace tarvo::gtk {

// The downloads of one web view's context, each put to the delegate: may it
// start, where is it written, how did it end. The engine is told to write
// over the destination it is given, which is a fresh temporary of the
// delegate's; nothing else is ever overwritten.
class Downloads {
public:
  Downloads(WebKitWebContext* context, WebKitWebView* view,
            std::weak_ptr<platform::Delegate> delegate);
  ~Downloads();
  Downloads(const Downloads&) = delete;
  Downloads& operator=(const Downloads&) = delete;

  // A navigation the view was asked for, and whether a user gesture started
  // it: a download that follows from it learns that here.
  void noteNavigation(const std::string& url, bool userGesture);
  // Every download under way stops; none is reported any more.
  void cancelAll();

private:
  struct Tracked {
    Downloads* owner;
    std::uint64_t id;
    GObjectPtr<WebKitDownload> download;
  };

  static void onStarted(WebKitWebContext* context, WebKitDownload* download, gpointer self);
  static gboolean onDecideDestination(WebKitDownload* download, gchar* suggested, gpointer data);
  static void onFailed(WebKitDownload* download, GError* error, gpointer data);
  static void onFinished(WebKitDownload* download, gpointer data);

  [[nodiscard]] bool startedByGesture(const std::string& url) const;
  void forget(std::uint64_t id);

  GObjectPtr<WebKitWebContext> context_;
  WebKitWebView* view_; // owned by the WebView that owns this
  std::weak_ptr<platform::Delegate> delegate_;
  std::map<std::uint64_t, std::unique_ptr<Tracked>> active_;
  std::deque<std::pair<std::string, bool>> recent_; // the latest navigations
  std::uint64_t nextId_ = 1;
};

} // namespace tarvo::gtk
