#include "shell/Downloads.h"

#include "shell/DownloadName.h"
#include "shell/FileUrl.h"
#include "shell/NavigationPolicy.h"
#include "shell/PageTexts.h"

#include <filesystem>
#include <utility>

namespace tarvo {
namespace {

constexpr double secondsPerMinute = 60;
// A data: address can be the whole file: the log keeps its start.
constexpr std::size_t addressShown = 120;

std::string shortened(const std::string& url) {
  return url.size() <= addressShown ? url : url.substr(0, addressShown) + "\u2026";
}

// The name a download has before the page's suggestion is known: the last
// part of a web address's path, or "download".
std::string provisionalName(const std::string& url) {
  if (url.rfind("http", 0) != 0) {
    return cleanDownloadName("");
  }
  const std::string path = url.substr(0, url.find_first_of("?#"));
  return cleanDownloadName(path.substr(path.find_last_of('/') + 1));
}

// "Downloads": the folder as the user knows it.
std::string folderName(const std::string& path) {
  auto folder = std::filesystem::path(path).lexically_normal();
  if (!folder.has_filename()) {
    folder = folder.parent_path();
  }
  return folder.filename().string();
}

} // namespace

std::shared_ptr<Downloads> Downloads::make(std::shared_ptr<platform::MainQueue> main,
                                           std::shared_ptr<platform::Ui> ui,
                                           std::shared_ptr<platform::DownloadFolder> folder,
                                           std::shared_ptr<platform::Log> log) {
  return std::shared_ptr<Downloads>(
      new Downloads(std::move(main), std::move(ui), std::move(folder), std::move(log)));
}

Downloads::Downloads(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Ui> ui,
                     std::shared_ptr<platform::DownloadFolder> folder,
                     std::shared_ptr<platform::Log> log)
    : main_(std::move(main)), ui_(std::move(ui)), folder_(std::move(folder)), log_(std::move(log)),
      unasked_(RateLimit::make(main_, unaskedPerMinute, secondsPerMinute)) {}

void Downloads::clearLeftovers() {
  if (!folder_) {
    return;
  }
  if (const int cleared = folder_->clearLeftovers(); cleared > 0) {
    note("removed " + std::to_string(cleared) + " unfinished download(s) an earlier run left");
  }
}

bool Downloads::begin(const platform::DownloadRequest& request) {
  if (!folder_) {
    note("download refused, as there is no download folder: " + shortened(request.url));
    return false;
  }
  if (!NavigationPolicy::mayDownload(request.url, request.pageURL)) {
    note("download refused, as it is not from the backend's own page: " + shortened(request.url));
    return false;
  }
  if (!request.userGesture && !unasked_->take()) {
    note("download refused, as the page started more than " + std::to_string(unaskedPerMinute) +
         " within a minute without a click: " + shortened(request.url));
    return false;
  }
  entries_[request.id] = {provisionalName(request.url), {}};
  return true;
}

std::string Downloads::destination(std::uint64_t id, const std::string& suggestedName) {
  const auto entry = entries_.find(id);
  if (entry == entries_.end()) {
    return {};
  }
  if (!suggestedName.empty()) {
    entry->second.name = cleanDownloadName(suggestedName);
  }
  std::string error;
  std::string temporary = folder_->createTemporary(error);
  if (temporary.empty()) {
    const std::string name = entry->second.name;
    entries_.erase(entry);
    notSaved(name, error);
    return {};
  }
  entry->second.temporary = temporary;
  return temporary;
}

void Downloads::finished(std::uint64_t id) {
  const auto entry = entries_.find(id);
  if (entry == entries_.end()) {
    return; // refused, failed or abandoned: nothing is left to move
  }
  const Entry done = std::move(entry->second);
  entries_.erase(entry);
  if (done.temporary.empty()) {
    note("a download ended before it was given a file: " + done.name);
    return;
  }
  std::string error;
  for (int n = 0; n < namesTried; ++n) {
    const std::string name = numberedName(done.name, n);
    switch (folder_->moveTo(done.temporary, name, error)) {
    case platform::DownloadFolder::Move::moved:
      saved(name);
      return;
    case platform::DownloadFolder::Move::exists:
      continue;
    case platform::DownloadFolder::Move::failed:
      folder_->remove(done.temporary);
      notSaved(done.name, error);
      return;
    }
  }
  folder_->remove(done.temporary);
  notSaved(done.name, noFreeNameReason());
}

void Downloads::failed(std::uint64_t id, const std::string& reason) {
  const auto entry = entries_.find(id);
  if (entry == entries_.end()) {
    return;
  }
  const Entry gone = std::move(entry->second);
  entries_.erase(entry);
  if (!gone.temporary.empty()) {
    folder_->remove(gone.temporary);
  }
  notSaved(gone.name, reason);
}

// The engine is told first, so that nothing is written after the removal.
void Downloads::abandonAll() {
  if (entries_.empty()) {
    return;
  }
  auto abandoned = std::move(entries_);
  entries_.clear();
  ui_->cancelDownloads();
  for (const auto& [id, entry] : abandoned) {
    if (!entry.temporary.empty()) {
      folder_->remove(entry.temporary);
    }
  }
  note("stopped " + std::to_string(abandoned.size()) + " download(s) under way at quit");
}

void Downloads::saved(const std::string& name) {
  note("download saved as \u201c" + name + "\u201d");
  tell(savedText(name, folderName(folder_->path())), true);
}

void Downloads::notSaved(const std::string& name, const std::string& reason) {
  note("download \u201c" + name + "\u201d not saved: " + reason);
  tell(notSavedText(name, reason), false);
}

// In the window, for a while; on the desktop too when the user looks elsewhere.
void Downloads::tell(const std::string& text, bool folderButton) {
  platform::Notice notice{text, {}, {}};
  if (folderButton) {
    notice.button = openFolderButton();
    notice.action = [ui = std::weak_ptr<platform::Ui>(ui_), url = fileURL(folder_->path())] {
      if (auto desktop = ui.lock()) {
        desktop->openURL(url);
      }
    };
  }
  ui_->showNotice(notice);
  if (!ui_->windowIsActive()) {
    ui_->notify(text);
  }
  std::weak_ptr<Downloads> weak = weak_from_this();
  main_->postAfter(noticeSeconds, [weak, generation = ++noticeGeneration_] {
    auto self = weak.lock();
    if (self && self->noticeGeneration_ == generation) {
      self->ui_->showNotice({});
    }
  });
}

void Downloads::note(const std::string& line) {
  if (log_) {
    log_->note(line);
  }
}

} // namespace tarvo
