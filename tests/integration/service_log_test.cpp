#include "integration/fixtures/Fixtures.h"
#include "supervisor/Service.h"
#include "supervisor/ServiceLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempFolder;
using test::writeFile;

constexpr std::uintmax_t limit = Service::maxLog;

off_t position(const UniqueFd& fd) {
  return ::lseek(fd.get(), 0, SEEK_CUR);
}

void makeLogOfSize(const fs::path& log, std::uintmax_t size) {
  writeFile(log, "first line\n");
  fs::resize_file(log, size);
}

TEST(ServiceLog, RotatedNameReplacesTheExtension) {
  EXPECT_EQ(rotatedLogPath("/home/ann/.local/state/Tarvo Studio.log"),
            "/home/ann/.local/state/Tarvo Studio.1.log");
}

TEST(ServiceLog, CreatesTheFolderAndAnEmptyLogOpenForAppending) {
  TempFolder folder;
  fs::path log = folder / "state/deeper/Tarvo Studio.log";

  UniqueFd fd = logHandle(log, limit);

  ASSERT_TRUE(fd);
  EXPECT_TRUE(fs::is_regular_file(log));
  EXPECT_EQ(fs::file_size(log), 0U);
  EXPECT_EQ(position(fd), 0);
  EXPECT_TRUE(::fcntl(fd.get(), F_GETFL) & O_APPEND);
  EXPECT_TRUE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC) << "must not leak into other children";
}

TEST(ServiceLog, AppendsToAnExistingLogWithoutTruncatingIt) {
  TempFolder folder;
  fs::path log = folder / "Tarvo Studio.log";
  writeFile(log, "from the last run\n");

  UniqueFd fd = logHandle(log, limit);
  ASSERT_TRUE(fd);
  EXPECT_EQ(position(fd), 18);
  ASSERT_EQ(::write(fd.get(), "this run\n", 9), 9);

  EXPECT_EQ(readFile(log), "from the last run\nthis run\n");
  EXPECT_FALSE(fs::exists(folder / "Tarvo Studio.1.log"));
}

TEST(ServiceLog, RotatesOnlyALogLargerThanTheLimit) {
  TempFolder folder;
  fs::path log = folder / "Tarvo Studio.log";
  fs::path rotated = folder / "Tarvo Studio.1.log";

  makeLogOfSize(log, limit);
  UniqueFd atLimit = logHandle(log, limit);
  ASSERT_TRUE(atLimit);
  EXPECT_FALSE(fs::exists(rotated));
  EXPECT_EQ(fs::file_size(log), limit);
  EXPECT_EQ(position(atLimit), static_cast<off_t>(limit));

  makeLogOfSize(log, limit + 1);
  UniqueFd overLimit = logHandle(log, limit);
  ASSERT_TRUE(overLimit);
  EXPECT_EQ(fs::file_size(rotated), limit + 1);
  EXPECT_EQ(fs::file_size(log), 0U);
  EXPECT_EQ(position(overLimit), 0);
}

TEST(ServiceLog, KeepsOneOlderGenerationOnly) {
  TempFolder folder;
  fs::path log = folder / "Tarvo Studio.log";
  fs::path rotated = folder / "Tarvo Studio.1.log";
  writeFile(rotated, "the generation before\n");
  makeLogOfSize(log, limit + 1);

  UniqueFd fd = logHandle(log, limit);

  ASSERT_TRUE(fd);
  EXPECT_EQ(fs::file_size(rotated), limit + 1);
  EXPECT_EQ(readFile(rotated).substr(0, 11), "first line\n");
  EXPECT_EQ(fs::file_size(log), 0U);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
}

TEST(ServiceLog, GivesNothingWhenTheLogCannotBeOpened) {
  TempFolder folder;
  writeFile(folder / "not-a-folder", "");
  EXPECT_FALSE(logHandle(folder / "not-a-folder/Tarvo Studio.log", limit));

  fs::create_directories(folder / "Tarvo Studio.log"); // a folder where the file belongs
  EXPECT_FALSE(logHandle(folder / "Tarvo Studio.log", limit));
}

mode_t modeOf(const fs::path& file) {
  struct stat attributes {};
  EXPECT_EQ(::stat(file.c_str(), &attributes), 0) << file;
  return attributes.st_mode & 07777;
}

// Whatever the umask lets through, the log is its owner's alone.
class PermissiveUmask {
public:
  PermissiveUmask() : saved_(::umask(0)) {}
  ~PermissiveUmask() { ::umask(saved_); }
  PermissiveUmask(const PermissiveUmask&) = delete;
  PermissiveUmask& operator=(const PermissiveUmask&) = delete;

private:
  mode_t saved_;
};

TEST(ServiceLog, IsReadableByItsOwnerOnly) {
  PermissiveUmask umask;
  TempFolder folder;
  const fs::path log = folder / "Tarvo Studio.log";
  const fs::path rotated = folder / "Tarvo Studio.1.log";

  EXPECT_TRUE(logHandle(log, limit));
  EXPECT_EQ(modeOf(log), 0600U) << "a new log";

  ASSERT_EQ(::chmod(log.c_str(), 0644), 0);
  EXPECT_TRUE(logHandle(log, limit));
  EXPECT_EQ(modeOf(log), 0600U) << "a log left world-readable by an older build";

  makeLogOfSize(log, limit + 1);
  ASSERT_EQ(::chmod(log.c_str(), 0664), 0);
  EXPECT_TRUE(logHandle(log, limit));
  EXPECT_EQ(modeOf(rotated), 0600U) << "the older generation it was rotated to";
  EXPECT_EQ(modeOf(log), 0600U) << "the log begun after the rotation";

  ASSERT_EQ(::chmod(rotated.c_str(), 0644), 0);
  EXPECT_TRUE(logHandle(log, limit));
  EXPECT_EQ(modeOf(rotated), 0600U) << "an older generation left by an older build";
}

TEST(ServiceLog, NarrowsNothingThroughASymbolicLink) {
  TempFolder folder;
  writeFile(folder / "elsewhere", "");
  ASSERT_EQ(::chmod((folder / "elsewhere").c_str(), 0644), 0);
  fs::create_symlink(folder / "elsewhere", folder / "Tarvo Studio.1.log");

  EXPECT_TRUE(logHandle(folder / "Tarvo Studio.log", limit));
  EXPECT_EQ(modeOf(folder / "elsewhere"), 0644U);
}

} // namespace
} // namespace tarvo
