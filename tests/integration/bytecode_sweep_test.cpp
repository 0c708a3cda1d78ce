#include "integration/fixtures/Fixtures.h"
#include "supervisor/BytecodeSweep.h"
#include "supervisor/Service.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempFolder;
using test::writeFile;

class BytecodeSweep : public ::testing::Test {
protected:
  TempFolder scratch;
  fs::path bundle = scratch / "tarvo-studio";
  fs::path log = scratch / "state/Tarvo Studio.log";

  std::size_t sweep(std::uintmax_t maxLog = Service::maxLog) {
    LogWriter writer(log, maxLog);
    return sweepBytecode(bundle, writer);
  }
  void touch(const fs::path& relative) { writeFile(bundle / relative, "x"); }
  bool has(const fs::path& relative) const {
    std::error_code ignored;
    return fs::symlink_status(bundle / relative, ignored).type() != fs::file_type::not_found;
  }
};

TEST_F(BytecodeSweep, CountsAFolderOnceAndLogsOneLine) {
  touch("app/pkg/__pycache__/a.cpython-311.pyc");
  touch("app/pkg/__pycache__/b.cpython-311.pyc");
  touch("app/pkg/__pycache__/c.cpython-311.pyc");
  touch("app/tools/old.pyc");
  touch("app/pkg/module.py");

  EXPECT_EQ(sweep(), 2U);

  EXPECT_FALSE(has("app/pkg/__pycache__"));
  EXPECT_FALSE(has("app/tools/old.pyc"));
  EXPECT_TRUE(has("app/pkg/module.py"));
  EXPECT_EQ(readFile(log), "sweep: removed 2 stray bytecode item(s) from the bundle \u2014 they "
                           "invalidate its signature and stop the app from opening\n");
}

TEST_F(BytecodeSweep, MatchesNamesExactlyAndStaysInsideStudioAndApp) {
  touch("studio/UPPER.PYC");
  touch("studio/pyc");
  touch("studio/notes.pyc.txt");
  touch("studio/near.pycx");
  touch("studio/__PYCACHE__/kept.py");
  touch("studio/.hidden/inner.pyc");
  touch("studio/.pyc");
  touch("app/a/b/c/d/deep.pyc");
  touch("__pycache__/beside.pyc");
  touch("loose.pyc");
  touch("other/__pycache__/x.pyc");

  EXPECT_EQ(sweep(), 3U);

  EXPECT_FALSE(has("studio/.hidden/inner.pyc"));
  EXPECT_FALSE(has("studio/.pyc"));
  EXPECT_FALSE(has("app/a/b/c/d/deep.pyc"));
  EXPECT_TRUE(has("app/a/b/c/d"));
  for (const char* kept : {"studio/UPPER.PYC", "studio/pyc", "studio/notes.pyc.txt",
                           "studio/near.pycx", "studio/__PYCACHE__/kept.py",
                           "__pycache__/beside.pyc", "loose.pyc", "other/__pycache__/x.pyc"}) {
    EXPECT_TRUE(has(kept)) << kept;
  }
}

TEST_F(BytecodeSweep, AMissingStudioDoesNotStopTheSweepOfApp) {
  touch("app/__pycache__/m.pyc");
  EXPECT_EQ(sweep(), 1U);
  EXPECT_FALSE(has("app/__pycache__"));

  touch("studio"); // a file, not a folder
  touch("app/again.pyc");
  EXPECT_EQ(sweep(), 1U);
  EXPECT_FALSE(has("app/again.pyc"));
}

TEST_F(BytecodeSweep, LeavesTheLogAloneWhenNothingIsRemoved) {
  touch("app/module.py");
  EXPECT_EQ(sweep(), 0U);
  EXPECT_FALSE(fs::exists(log)) << "not even created";

  writeFile(log, "larger than the limit\n");
  EXPECT_EQ(sweep(4), 0U);
  EXPECT_EQ(readFile(log), "larger than the limit\n");
  EXPECT_FALSE(fs::exists(scratch / "state/Tarvo Studio.1.log")) << "not rotated";
}

TEST_F(BytecodeSweep, WritesItsLineThroughTheLogRotation) {
  writeFile(log, "larger than the limit\n");
  touch("app/x.pyc");

  EXPECT_EQ(sweep(4), 1U);

  EXPECT_EQ(readFile(scratch / "state/Tarvo Studio.1.log"), "larger than the limit\n");
  EXPECT_EQ(readFile(log), sweepLine(1));
}

TEST_F(BytecodeSweep, NeverFollowsASymbolicLinkOutOfTheBundle) {
  fs::path outside = scratch / "outside";
  writeFile(outside / "__pycache__/precious.pyc", "x");
  writeFile(outside / "target.pyc", "x");
  writeFile(outside / "folder/keep.txt", "x");
  fs::create_directories(bundle / "app");
  fs::create_directory_symlink(outside, bundle / "app/linked");
  fs::create_directory_symlink(outside / "folder", bundle / "app/__pycache__");
  fs::create_symlink(outside / "target.pyc", bundle / "app/alias.pyc");
  fs::create_directory_symlink(outside, bundle / "studio");

  EXPECT_EQ(sweep(), 2U) << "the two links named as bytecode, as links";

  EXPECT_FALSE(has("app/__pycache__"));
  EXPECT_FALSE(has("app/alias.pyc"));
  EXPECT_TRUE(has("app/linked"));
  EXPECT_TRUE(has("studio"));
  EXPECT_TRUE(fs::exists(outside / "__pycache__/precious.pyc"));
  EXPECT_TRUE(fs::exists(outside / "target.pyc"));
  EXPECT_TRUE(fs::exists(outside / "folder/keep.txt"));
}

// What a page that broke out of its sandbox may have planted in the old
// place: links to what must stay, and a FIFO.
TEST_F(BytecodeSweep, RemovesTheOldCacheWithoutFollowingWhatWasPlanted) {
  fs::path old = scratch / "cache/Tarvo Studio";
  fs::path outside = scratch / "outside";
  writeFile(outside / "keep/precious.txt", "x");
  writeFile(old / "pycache/usr/lib/python3/x.cpython-311.pyc", "x");
  fs::create_directory_symlink(outside / "keep", old / "pycache/usr/linked");
  fs::create_symlink(outside / "keep/precious.txt", old / "alias.pyc");
  ASSERT_EQ(::mkfifo((old / "pycache/pipe").c_str(), 0600), 0);
  LogWriter writer(log, Service::maxLog);

  removeOldBytecodeCache(old, writer);

  EXPECT_FALSE(fs::exists(fs::symlink_status(old)));
  EXPECT_EQ(readFile(outside / "keep/precious.txt"), "x");
  EXPECT_NE(readFile(log).find("removed the bytecode cache of earlier versions"),
            std::string::npos);

  fs::create_directory_symlink(outside, old); // the old place itself a link
  removeOldBytecodeCache(old, writer);
  EXPECT_FALSE(fs::exists(fs::symlink_status(old)));
  EXPECT_TRUE(fs::exists(outside / "keep/precious.txt"));
}

} // namespace
} // namespace tarvo
