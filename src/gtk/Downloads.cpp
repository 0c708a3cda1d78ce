#include "gtk/Downloads.h"

#include <algorithm>

namespace tarvo::gtk {
namespace {

// Navigations remembered for the downloads that follow them.
constexpr std::size_t remembered = 32;

std::string requestURI(WebKitDownload* download) {
  WebKitURIRequest* request = webkit_download_get_request(download);
  const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
  return uri != nullptr ? uri : "";
}

} // namespace

Downloads::Downloads(WebKitWebContext* context, WebKitWebView* view,
                     std::weak_ptr<platform::Delegate> delegate)
    : context_(GObjectPtr<WebKitWebContext>::retain(context)), view_(view),
      delegate_(std::move(delegate)) {
  g_signal_connect(context, "download-started", G_CALLBACK(onStarted), this);
}

Downloads::~Downloads() {
  cancelAll();
  g_signal_handlers_disconnect_by_data(context_.get(), this);
}

void Downloads::noteNavigation(const std::string& url, bool userGesture) {
  recent_.emplace_back(url, userGesture);
  if (recent_.size() > remembered) {
    recent_.pop_front();
  }
}

bool Downloads::startedByGesture(const std::string& url) const {
  const auto found = std::find_if(recent_.rbegin(), recent_.rend(),
                                  [&url](const auto& seen) { return seen.first == url; });
  return found != recent_.rend() && found->second;
}

void Downloads::onStarted(WebKitWebContext* /*context*/, WebKitDownload* download, gpointer self) {
  auto* me = static_cast<Downloads*>(self);
  auto delegate = me->delegate_.lock();
  WebKitWebView* from = webkit_download_get_web_view(download);
  const char* page = from != nullptr ? webkit_web_view_get_uri(from) : nullptr;
  platform::DownloadRequest request;
  request.id = me->nextId_++;
  request.url = requestURI(download);
  request.pageURL = from == me->view_ && page != nullptr ? page : "";
  request.userGesture = me->startedByGesture(request.url);
  if (!delegate || !delegate->decideDownload(request)) {
    webkit_download_cancel(download);
    return;
  }
  auto tracked = std::make_unique<Tracked>(
      Tracked{me, request.id, GObjectPtr<WebKitDownload>::retain(download)});
  g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), tracked.get());
  g_signal_connect(download, "failed", G_CALLBACK(onFailed), tracked.get());
  g_signal_connect(download, "finished", G_CALLBACK(onFinished), tracked.get());
  me->active_[request.id] = std::move(tracked);
}

gboolean Downloads::onDecideDestination(WebKitDownload* download, gchar* suggested, gpointer data) {
  auto* tracked = static_cast<Tracked*>(data);
  auto delegate = tracked->owner->delegate_.lock();
  const std::string destination =
      delegate ? delegate->downloadDestination(tracked->id, suggested != nullptr ? suggested : "")
               : std::string();
  if (destination.empty()) {
    webkit_download_cancel(download);
    return TRUE;
  }
  // The destination is the delegate's own fresh file, made to reserve the
  // name: the engine replaces it with what it downloaded.
  webkit_download_set_allow_overwrite(download, TRUE);
  webkit_download_set_destination(download, destination.c_str());
  return TRUE;
}

// The engine says "finished" after "failed" as well: a failed download is
// forgotten here, so its end is reported once.
void Downloads::onFailed(WebKitDownload* /*download*/, GError* error, gpointer data) {
  auto* tracked = static_cast<Tracked*>(data);
  Downloads* me = tracked->owner;
  const std::uint64_t id = tracked->id;
  const std::string reason = error != nullptr && error->message != nullptr ? error->message : "";
  me->forget(id);
  if (auto delegate = me->delegate_.lock()) {
    delegate->downloadFailed(id, reason);
  }
}

void Downloads::onFinished(WebKitDownload* /*download*/, gpointer data) {
  auto* tracked = static_cast<Tracked*>(data);
  Downloads* me = tracked->owner;
  const std::uint64_t id = tracked->id;
  me->forget(id);
  if (auto delegate = me->delegate_.lock()) {
    delegate->downloadFinished(id);
  }
}

void Downloads::forget(std::uint64_t id) {
  const auto found = active_.find(id);
  if (found == active_.end()) {
    return;
  }
  // The engine holds the download while it emits: it outlives this.
  g_signal_handlers_disconnect_by_data(found->second->download.get(), found->second.get());
  active_.erase(found);
}

void Downloads::cancelAll() {
  auto stopping = std::move(active_);
  active_.clear();
  for (auto& [id, tracked] : stopping) {
    g_signal_handlers_disconnect_by_data(tracked->download.get(), tracked.get());
    webkit_download_cancel(tracked->download.get());
  }
}

} // namespace tarvo::gtk
