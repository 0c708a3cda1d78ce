#pragma once

#include "platform/Delegate.h"
#include "platform/DownloadFolder.h"
#include "platform/Log.h"
#include "platform/Queues.h"
#include "platform/Ui.h"
#include "shell/RateLimit.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tarvo {

// The page's downloads, from the backend's origin only, into the user's
// download folder, never over a file that is there: each is written to a
// fresh temporary of the application's own, and once complete it takes the
// name the page suggested, cleaned, or the next free one ("report (1).csv").
// Whatever fails or is still running at quit leaves nothing behind. The
// window says what became of each. Main thread only.
class Downloads : public std::enable_shared_from_this<Downloads> {
public:
  // Downloads no click started: at most this many a minute, the rest refused.
  static constexpr int unaskedPerMinute = 3;
  // How long the window says what became of a download.
  static constexpr double noticeSeconds = 30;
  // Names tried before giving up ("report (999).csv").
  static constexpr int namesTried = 1000;

  // Without a folder every download is refused.
  static std::shared_ptr<Downloads> make(std::shared_ptr<platform::MainQueue> main,
                                         std::shared_ptr<platform::Ui> ui,
                                         std::shared_ptr<platform::DownloadFolder> folder,
                                         std::shared_ptr<platform::Log> log);

  // At launch: temporaries that an earlier run left are removed.
  void clearLeftovers();
  [[nodiscard]] bool begin(const platform::DownloadRequest& request);
  // The temporary to write to; empty cancels the download.
  [[nodiscard]] std::string destination(std::uint64_t id, const std::string& suggestedName);
  void finished(std::uint64_t id);
  void failed(std::uint64_t id, const std::string& reason);
  // Quitting: every download under way is stopped and its temporary removed.
  void abandonAll();

private:
  struct Entry {
    std::string name; // cleaned; what the window calls it
    std::string temporary;
  };

  Downloads(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Ui> ui,
            std::shared_ptr<platform::DownloadFolder> folder, std::shared_ptr<platform::Log> log);
  void saved(const std::string& name);
  void notSaved(const std::string& name, const std::string& reason);
  void tell(const std::string& text, bool folderButton);
  void note(const std::string& line);

  std::shared_ptr<platform::MainQueue> main_;
  std::shared_ptr<platform::Ui> ui_;
  std::shared_ptr<platform::DownloadFolder> folder_;
  std::shared_ptr<platform::Log> log_;
  std::shared_ptr<RateLimit> unasked_;
  std::map<std::uint64_t, Entry> entries_;
  unsigned noticeGeneration_ = 0; // a later notice outlives an earlier one's time
};

} // namespace tarvo
