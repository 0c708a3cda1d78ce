#pragma once

#include "platform/DownloadFolder.h"

#include <filesystem>
#include <string>

namespace tarvo::gtk {

// The user's download folder (the desktop's, G_USER_DIRECTORY_DOWNLOAD, or
// `fallback`, ~/Downloads). A download is written to a hidden temporary
// whose name carries this process's id; a finished one takes its name with
// renameat2(RENAME_NOREPLACE), so a file that is there is never replaced.
class DownloadFolder final : public platform::DownloadFolder {
public:
  explicit DownloadFolder(const std::filesystem::path& fallback);

  std::string path() override { return folder_.string(); }
  std::string createTemporary(std::string& error) override;
  Move moveTo(const std::string& temporary, const std::string& name, std::string& error) override;
  void remove(const std::string& temporary) override;
  int clearLeftovers() override;

  // The start of every temporary's name.
  static constexpr const char* prefix = ".tarvo-studio-download-";

private:
  std::filesystem::path folder_;
};

} // namespace tarvo::gtk
