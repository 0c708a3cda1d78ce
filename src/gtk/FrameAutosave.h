#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tarvo::gtk {

// A window's remembered frame, and the zoom of the page it shows. The position is only known where
// the display server tells a client where its window is (X11, not Wayland).
struct Frame {
  int width = 0;
  int height = 0;
  std::optional<int> x;
  std::optional<int> y;
  bool maximized = false;
  double zoom = 1.0; // the page's zoom, kept with the window
};

// Keeps frames in a small key file, one group per autosave name. Unreadable or
// nonsensical entries read as no frame, so a damaged file only costs the
// remembered placement.
class FrameAutosave {
public:
  FrameAutosave(std::filesystem::path file, std::string name);

  [[nodiscard]] std::optional<Frame> load() const;
  void save(const Frame& frame) const; // failures are ignored

  // The key file in the application's state folder; none without a folder.
  [[nodiscard]] static std::filesystem::path fileIn(const std::filesystem::path& stateFolder);

private:
  std::filesystem::path file_;
  std::string name_;
};

} // namespace tarvo::gtk
