#include "gtk/FrameAutosave.h"

#include "gtk/GlibPtr.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tarvo::gtk {

namespace {

// Beyond any real screen; larger values mean the file was damaged or edited.
constexpr int maxExtent = 32768;
// A few frames take a few hundred bytes; anything far bigger is not ours.
constexpr std::uintmax_t maxFileBytes = std::uintmax_t{1} << 20;

// The key file at `path`, read from memory: it is opened without waiting (a
// FIFO in its place would hang the window's creation and the quit) and only
// a regular file of a sane size is read. Anything else reads as no file.
GKeyFilePtr loadKeyFile(const std::filesystem::path& path, GKeyFileFlags flags) {
  GKeyFilePtr file(g_key_file_new());
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  std::string text;
  struct stat info {};
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                static_cast<std::uintmax_t>(info.st_size) <= maxFileBytes;
  while (usable) {
    char chunk[4096];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      usable = got == 0;
      break;
    }
    text.append(chunk, static_cast<std::size_t>(got));
    usable = text.size() <= maxFileBytes; // it grew after fstat
  }
  ::close(fd);
  if (!usable || !g_key_file_load_from_data(file.get(), text.data(), text.size(), flags, nullptr)) {
    return nullptr;
  }
  return file;
}

std::optional<int> readInt(GKeyFile* file, const char* group, const char* key) {
  GErrorPtr error;
  const int value = g_key_file_get_integer(file, group, key, OutPtr(error));
  if (error) {
    return std::nullopt;
  }
  return value;
}

} // namespace

FrameAutosave::FrameAutosave(std::filesystem::path file, std::string name)
    : file_(std::move(file)), name_(std::move(name)) {}

std::filesystem::path FrameAutosave::fileIn(const std::filesystem::path& stateFolder) {
  return stateFolder.empty() ? std::filesystem::path{} : stateFolder / "window.ini";
}

std::optional<Frame> FrameAutosave::load() const {
  if (file_.empty() || name_.empty()) {
    return std::nullopt;
  }
  const GKeyFilePtr file = loadKeyFile(file_, G_KEY_FILE_NONE);
  if (!file) {
    return std::nullopt;
  }
  const char* group = name_.c_str();
  const auto width = readInt(file.get(), group, "width");
  const auto height = readInt(file.get(), group, "height");
  if (!width || !height || *width <= 0 || *height <= 0 || *width > maxExtent ||
      *height > maxExtent) {
    return std::nullopt;
  }
  Frame frame{*width, *height, {}, {}, false};
  const auto x = readInt(file.get(), group, "x");
  const auto y = readInt(file.get(), group, "y");
  if (x && y && *x > -maxExtent && *x<maxExtent&& * y> - maxExtent && *y < maxExtent) {
    frame.x = x;
    frame.y = y;
  }
  frame.maximized = g_key_file_get_boolean(file.get(), group, "maximized", nullptr) != FALSE;
  return frame;
}

void FrameAutosave::save(const Frame& frame) const {
  if (file_.empty() || name_.empty() || frame.width <= 0 || frame.height <= 0) {
    return;
  }
  if (g_mkdir_with_parents(file_.parent_path().c_str(), 0700) != 0) {
    return;
  }
  // Keep whatever other groups the file holds.
  GKeyFilePtr file = loadKeyFile(file_, G_KEY_FILE_KEEP_COMMENTS);
  if (!file) {
    file.reset(g_key_file_new());
  }
  const char* group = name_.c_str();
  g_key_file_remove_group(file.get(), group, nullptr);
  g_key_file_set_integer(file.get(), group, "width", frame.width);
  g_key_file_set_integer(file.get(), group, "height", frame.height);
  if (frame.x && frame.y) {
    g_key_file_set_integer(file.get(), group, "x", *frame.x);
    g_key_file_set_integer(file.get(), group, "y", *frame.y);
  }
  g_key_file_set_boolean(file.get(), group, "maximized", frame.maximized ? TRUE : FALSE);
  // Written to a new temporary file and renamed over whatever stands there:
  // nothing in the way is ever opened.
  g_key_file_save_to_file(file.get(), file_.c_str(), nullptr);
}

} // namespace tarvo::gtk
