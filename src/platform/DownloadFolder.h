#pragma once

#include <string>

namespace tarvo::platform {

// The user's folder for downloads, and the only moves made in it: a
// download is written to a fresh file of the application's own and then
// given its name, never over a file that is there.
class DownloadFolder {
public:
  enum class Move { moved, exists, failed };

  virtual ~DownloadFolder() = default;

  // The folder's path.
  [[nodiscard]] virtual std::string path() = 0;
  // A new empty file of this application's in the folder (the folder is
  // made if missing), created so that no other file can be it. Its path, or
  // empty with `error` saying why.
  [[nodiscard]] virtual std::string createTemporary(std::string& error) = 0;
  // `temporary` takes the name `name` in the folder unless a file has that
  // name already (exists); failed sets `error`.
  [[nodiscard]] virtual Move moveTo(const std::string& temporary, const std::string& name,
                                    std::string& error) = 0;
  // The temporary goes, and whatever the engine wrote beside it.
  virtual void remove(const std::string& temporary) = 0;
  // Temporaries that earlier runs left when they ended without removing
  // them (a crash, a kill): removed. The count.
  virtual int clearLeftovers() = 0;
};

} // namespace tarvo::platform
