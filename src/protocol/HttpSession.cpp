#include "protocol/HttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace tarvo::protocol {

namespace {

constexpr const char* closedMessage = "the session was closed";
constexpr const char* setupMessage = "the request could not be prepared";

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long timeoutMilliseconds(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) {
    seconds = HttpSession::defaultTimeout;
  }
  // CURLOPT_TIMEOUT_MS takes a long; a day is far beyond anything asked of it.
  seconds = std::min(seconds, 86400.0);
  return std::max(1L, std::lround(seconds * 1000));
}

// One request from the moment it is handed to the session until its
// completion has run.
struct Transfer {
  HttpRequest request;
  HttpSession::Completion done;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string body;
  bool overflow = false;
  char errorText[CURL_ERROR_SIZE] = {};

  Transfer(HttpRequest r, HttpSession::Completion d) : request(std::move(r)), done(std::move(d)) {}
  ~Transfer() {
    if (easy != nullptr) {
      curl_easy_cleanup(easy);
    }
    curl_slist_free_all(headers);
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
};

size_t collectBody(char* data, size_t size, size_t count, void* userData) {
  auto* transfer = static_cast<Transfer*>(userData);
  const size_t bytes = size * count;
  if (bytes > HttpSession::maxBody - std::min(transfer->body.size(), HttpSession::maxBody)) {
    transfer->overflow = true;
    return 0; // any other count aborts the transfer with a write error
  }
  transfer->body.append(data, bytes);
  return bytes;
}

// Sets every option; false when libcurl refused one.
bool prepare(Transfer& transfer) {
  transfer.easy = curl_easy_init();
  if (transfer.easy == nullptr) {
    return false;
  }
  CURL* easy = transfer.easy;
  const HttpRequest& request = transfer.request;
  bool ok = true;
  auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };

  set(curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()));
#if LIBCURL_VERSION_NUM >= 0x075500 // 7.85.0 named the protocols and deprecated the bit mask
  set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http"));
#else
  set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP)));
#endif
  // Straight to the loopback address, whatever http_proxy, ALL_PROXY and
  // no_proxy say.
  set(curl_easy_setopt(easy, CURLOPT_PROXY, ""));
  set(curl_easy_setopt(easy, CURLOPT_NOPROXY, "*"));
  set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
  set(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMilliseconds(request.timeout)));
  set(curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorText));
  set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collectBody));
  set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer));
  set(curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer));

  for (const std::string& header : request.headers) {
    transfer.headers = curl_slist_append(transfer.headers, header.c_str());
  }
  // An empty value removes the header libcurl would add for larger bodies.
  transfer.headers = curl_slist_append(transfer.headers, "Expect:");
  if (transfer.headers == nullptr) {
    return false;
  }
  set(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers));

  if (request.method == "POST" || request.body) {
    const std::string& payload = request.body ? *request.body : transfer.body;
    set(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(payload.size())));
    set(curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, payload.c_str()));
  }
  if (request.method != "GET" && request.method != "POST") {
    set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str()));
  } else if (request.method == "GET" && request.body) {
    set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET"));
  }
  return ok;
}

// A transfer that failed part-way has no status: a reply cut off after its
// "200" must not pass for a success.
HttpReply replyOf(Transfer& transfer, CURLcode result) {
  HttpReply reply;
  if (transfer.overflow) {
    reply.error = "the reply was larger than " + std::to_string(HttpSession::maxBody) + " bytes";
  } else if (result != CURLE_OK) {
    reply.error = transfer.errorText[0] != '\0' ? std::string(transfer.errorText)
                                                : std::string(curl_easy_strerror(result));
  } else {
    long status = 0;
    if (curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) {
      reply.status = status;
    }
    reply.body = std::move(transfer.body);
  }
  return reply;
}

void complete(Transfer& transfer, HttpReply reply) {
  if (!transfer.done) {
    return;
  }
  HttpSession::Completion done = std::move(transfer.done);
  try {
    done(std::move(reply));
  } catch (...) { // NOLINT(bugprone-empty-catch): a completion's failure is its own
  }
}

void fail(Transfer& transfer, const char* message) {
  HttpReply reply;
  reply.error = message;
  complete(transfer, std::move(reply));
}

// Everything the session's thread works on. The thread holds it too, so a
// session destroyed from one of its own completions leaves the thread
// something to finish with.
struct SessionState {
  std::mutex mutex;
  std::condition_variable wake;                   // used only when libcurl could not start
  std::deque<std::unique_ptr<Transfer>> incoming; // guarded by mutex
  bool closing = false;                           // guarded by mutex
  CURLM* multi = nullptr;                         // set before the thread starts

  // Only the session thread touches this.
  std::list<std::unique_ptr<Transfer>> active;

  void run();
  void runWithoutCurl();
  void start(std::unique_ptr<Transfer> transfer);
  void finishDone();
  void shutDown();
  std::unique_ptr<Transfer> takeIncoming();
};

std::unique_ptr<Transfer> SessionState::takeIncoming() {
  std::lock_guard guard(mutex);
  if (incoming.empty()) {
    return nullptr;
  }
  std::unique_ptr<Transfer> transfer = std::move(incoming.front());
  incoming.pop_front();
  return transfer;
}

void SessionState::start(std::unique_ptr<Transfer> transfer) {
  if (!prepare(*transfer) || curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
    fail(*transfer, setupMessage);
    return;
  }
  active.push_back(std::move(transfer));
}

void SessionState::finishDone() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg != CURLMSG_DONE) {
      continue;
    }
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    auto found = std::find_if(active.begin(), active.end(),
                              [easy](const auto& transfer) { return transfer->easy == easy; });
    if (found == active.end()) {
      continue;
    }
    std::unique_ptr<Transfer> transfer = std::move(*found);
    active.erase(found);
    curl_multi_remove_handle(multi, easy);
    complete(*transfer, replyOf(*transfer, result));
  }
}

void SessionState::shutDown() {
  std::list<std::unique_ptr<Transfer>> abandoned;
  abandoned.swap(active);
  for (auto& transfer : abandoned) {
    curl_multi_remove_handle(multi, transfer->easy);
  }
  for (auto& transfer : abandoned) {
    fail(*transfer, closedMessage);
  }
  // Completions may have asked for more; those fail the same way.
  while (std::unique_ptr<Transfer> transfer = takeIncoming()) {
    fail(*transfer, closedMessage);
  }
  abandoned.clear();
  CURLM* closed = nullptr;
  {
    std::lock_guard guard(mutex);
    std::swap(closed, multi);
  }
  curl_multi_cleanup(closed);
}

void SessionState::run() {
  if (multi == nullptr) {
    runWithoutCurl();
    return;
  }
  for (;;) {
    std::deque<std::unique_ptr<Transfer>> arrived;
    {
      std::lock_guard guard(mutex);
      if (closing) {
        break;
      }
      arrived.swap(incoming);
    }
    for (auto& transfer : arrived) {
      start(std::move(transfer));
    }
    int running = 0;
    curl_multi_perform(multi, &running);
    finishDone();
    {
      std::lock_guard guard(mutex);
      if (closing) {
        break;
      }
      if (!incoming.empty()) {
        continue;
      }
    }
    // Returns early when a transfer needs attention or send() wakes it.
    curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  shutDown();
}

// Without a multi handle nothing can be sent; every request still gets its
// one completion, on this thread.
void SessionState::runWithoutCurl() {
  for (;;) {
    std::unique_ptr<Transfer> transfer;
    {
      std::unique_lock guard(mutex);
      wake.wait(guard, [this] { return closing || !incoming.empty(); });
      if (incoming.empty()) {
        return;
      }
      transfer = std::move(incoming.front());
      incoming.pop_front();
    }
    fail(*transfer, setupMessage);
  }
}

} // namespace

struct HttpSession::Impl {
  std::shared_ptr<SessionState> state = std::make_shared<SessionState>();
  std::atomic<std::thread::id> threadId;
  std::thread thread;
};

HttpSession::HttpSession() : impl_(std::make_unique<Impl>()) {
  initialiseCurlOnce();
  impl_->state->multi = curl_multi_init();
  impl_->thread = std::thread([state = impl_->state] { state->run(); });
  impl_->threadId = impl_->thread.get_id();
}

HttpSession::~HttpSession() {
  SessionState& state = *impl_->state;
  {
    std::lock_guard guard(state.mutex);
    state.closing = true;
    if (state.multi != nullptr) {
      curl_multi_wakeup(state.multi);
    }
    state.wake.notify_all();
  }
  if (onSessionThread()) {
    // One of our own completions is destroying us: the thread finishes the
    // rest after that completion returns, with its own hold on the state.
    impl_->thread.detach();
  } else {
    impl_->thread.join();
  }
}

void HttpSession::send(HttpRequest request, Completion done) {
  auto transfer = std::make_unique<Transfer>(std::move(request), std::move(done));
  // A hold of our own: the completion of this very request may destroy the
  // session before this call has returned.
  const std::shared_ptr<SessionState> state = impl_->state;
  std::lock_guard guard(state->mutex);
  state->incoming.push_back(std::move(transfer));
  if (state->multi != nullptr) {
    curl_multi_wakeup(state->multi);
  }
  state->wake.notify_all();
}

bool HttpSession::onSessionThread() const {
  return impl_->threadId.load() == std::this_thread::get_id();
}

} // namespace tarvo::protocol
