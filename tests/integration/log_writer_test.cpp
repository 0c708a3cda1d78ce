#include "integration/fixtures/Fixtures.h"
#include "supervisor/LogWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempFolder;
using test::writeFile;

constexpr std::uintmax_t limit = 64;

mode_t modeOf(const fs::path& file) {
  struct stat attributes {};
  EXPECT_EQ(::stat(file.c_str(), &attributes), 0) << file;
  return attributes.st_mode & 07777;
}

struct Logs {
  TempFolder folder;
  fs::path log = folder / "state/Tarvo Studio.log";
  fs::path rotated = folder / "state/Tarvo Studio.1.log";
};

TEST(LogWriter, RotatedNameReplacesTheExtension) {
  EXPECT_EQ(LogWriter::rotatedPath("/home/ann/.local/state/Tarvo Studio.log"),
            "/home/ann/.local/state/Tarvo Studio.1.log");
}

TEST(LogWriter, CreatesItsFolderAndAppendsWithoutTruncating) {
  Logs logs;
  LogWriter(logs.log, limit).append("from the last run\n");
  LogWriter writer(logs.log, limit);
  writer.append("this run\n");
  EXPECT_EQ(readFile(logs.log), "from the last run\nthis run\n");
  EXPECT_FALSE(fs::exists(logs.rotated));
}

// Rotated while it is written, not only at a start: a write that finds it
// past the limit goes to a fresh log. One older generation is kept.
TEST(LogWriter, RotatesAsSoonAsTheLimitIsPassed) {
  Logs logs;
  LogWriter writer(logs.log, limit);
  writer.append(std::string(limit, 'a'));
  writer.append("b");
  EXPECT_FALSE(fs::exists(logs.rotated)) << "exactly the limit stays";
  writer.append("after\n");
  EXPECT_EQ(fs::file_size(logs.rotated), limit + 1);
  EXPECT_EQ(readFile(logs.log), "after\n");

  writer.append(std::string(limit, 'c'));
  writer.append("d");
  EXPECT_EQ(readFile(logs.rotated), "after\n" + std::string(limit, 'c'));
  EXPECT_EQ(readFile(logs.log), "d");
  EXPECT_EQ(std::distance(fs::directory_iterator(logs.log.parent_path()), fs::directory_iterator()),
            2);
}

// Two writers of one file (the application and the reader of the backend's
// output): one rotates, the other follows it to the new file, and no line is
// lost between them.
TEST(LogWriter, WritersOfOneFileShareItsRotation) {
  Logs logs;
  LogWriter one(logs.log, 1 << 20);
  LogWriter other(logs.log, 1 << 20);
  std::thread first([&] {
    for (int i = 0; i < 2000; ++i) {
      one.append("one " + std::to_string(i) + "\n");
    }
  });
  for (int i = 0; i < 2000; ++i) {
    other.append("other " + std::to_string(i) + "\n");
  }
  first.join();
  const std::string all = readFile(logs.rotated) + readFile(logs.log);
  EXPECT_NE(all.find("one 1999\n"), std::string::npos);
  EXPECT_NE(all.find("other 1999\n"), std::string::npos);
  EXPECT_NE(all.find("one 0\n"), std::string::npos);
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 4000);
}

TEST(LogWriter, NotesAreMarkedMaskedCutAndBounded) {
  Logs logs;
  auto now = std::chrono::system_clock::now();
  LogWriter writer(logs.log, 1 << 20, [&] { return now; });

  writer.note("loaded http://127.0.0.1:7810/#t=s3cret then\nmore");
  const std::string first = readFile(logs.log);
  EXPECT_NE(first.find(" tarvo-studio: loaded http://127.0.0.1:7810/#t=\u2026 then more\n"),
            std::string::npos)
      << first;
  EXPECT_EQ(first.find("s3cret"), std::string::npos);
  EXPECT_EQ(first[4], '-') << "begins with the date: " << first;

  EXPECT_LE(LogWriter::noteText(std::string(5000, 'x')).size(), LogWriter::maxNoteBytes);

  for (int i = 0; i < LogWriter::notesPerMinute + 10; ++i) {
    writer.note("again");
  }
  const std::string flood = readFile(logs.log);
  EXPECT_EQ(std::count(flood.begin(), flood.end(), '\n'), LogWriter::notesPerMinute);
  now += std::chrono::seconds(61);
  writer.note("later");
  const std::string after = readFile(logs.log);
  EXPECT_NE(after.find("tarvo-studio: 11 line(s) of this application dropped"), std::string::npos);
  EXPECT_NE(after.find("tarvo-studio: later\n"), std::string::npos);
}

// Nothing waits on what stands where the log belongs: a FIFO, a folder, a
// link. The lines go to standard error instead.
TEST(LogWriter, NeverBlocksOnWhatIsNotAPlainFile) {
  Logs logs;
  fs::create_directories(logs.log.parent_path());
  ASSERT_EQ(::mkfifo(logs.log.c_str(), 0600), 0);
  const int reader = ::open(logs.log.c_str(), O_RDONLY | O_NONBLOCK); // a reader that never reads
  LogWriter fifo(logs.log, limit);
  ::testing::internal::CaptureStderr();
  fifo.append(std::string(1 << 20, 'x')); // would fill the FIFO and block
  fifo.note("still here");
  const std::string said = ::testing::internal::GetCapturedStderr();
  ::close(reader);
  const std::size_t why = said.find("is not a plain file");
  EXPECT_LT(why, said.find("xxx")) << "why comes first";
  EXPECT_EQ(why, said.rfind("is not a plain file")) << "and once";
  EXPECT_NE(said.find("tarvo-studio: still here"), std::string::npos);

  fs::remove(logs.log);
  writeFile(logs.folder / "elsewhere", "");
  fs::create_symlink(logs.folder / "elsewhere", logs.log);
  LogWriter(logs.log, limit).note("not through a link");
  EXPECT_EQ(readFile(logs.folder / "elsewhere"), "");
}

// Whatever the umask lets through, the log is its owner's alone.
TEST(LogWriter, IsReadableByItsOwnerOnly) {
  const mode_t saved = ::umask(0);
  Logs logs;
  LogWriter writer(logs.log, limit);
  writer.append("x");
  EXPECT_EQ(modeOf(logs.log), 0600U) << "a new log";

  ASSERT_EQ(::chmod(logs.log.c_str(), 0644), 0);
  writeFile(logs.rotated, "left by an older build");
  ASSERT_EQ(::chmod(logs.rotated.c_str(), 0644), 0);
  LogWriter(logs.log, limit).append("y");
  EXPECT_EQ(modeOf(logs.log), 0600U) << "a log left world-readable by an older build";
  EXPECT_EQ(modeOf(logs.rotated), 0600U) << "an older generation left by an older build";
  ::umask(saved);
}

} // namespace
} // namespace tarvo
