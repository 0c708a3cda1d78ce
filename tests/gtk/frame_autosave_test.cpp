// The remembered window frame: what is saved comes back, other windows'
// groups survive, and a damaged file costs only the placement.
#include "gtk/FrameAutosave.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tarvo::gtk {
namespace {

namespace fs = std::filesystem;

class FrameAutosaveTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo-frame-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }
  void write(const std::string& text) const { std::ofstream(file()) << text; }
  [[nodiscard]] fs::path file() const { return folder_ / "state" / "window.ini"; }
  fs::path folder_;
};

TEST_F(FrameAutosaveTest, SavedFrameComesBackAndTheFolderIsMade) {
  FrameAutosave autosave(file(), "TarvoStudioMain");
  EXPECT_FALSE(autosave.load().has_value()); // first launch: nothing yet
  autosave.save({1200, 800, 40, 30, false});
  const auto frame = autosave.load();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->width, 1200);
  EXPECT_EQ(frame->height, 800);
  EXPECT_EQ(frame->x, 40);
  EXPECT_EQ(frame->y, 30);
  EXPECT_FALSE(frame->maximized);
  EXPECT_EQ(fs::status(file().parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(FrameAutosaveTest, SizeWithoutPositionWhereThePositionIsUnknown) {
  FrameAutosave autosave(file(), "TarvoStudioMain");
  autosave.save({900, 600, std::nullopt, std::nullopt, true});
  const auto frame = autosave.load();
  ASSERT_TRUE(frame.has_value());
  EXPECT_FALSE(frame->x.has_value());
  EXPECT_FALSE(frame->y.has_value());
  EXPECT_TRUE(frame->maximized);
}

TEST_F(FrameAutosaveTest, OtherGroupsOfTheFileSurviveASave) {
  FrameAutosave main(file(), "TarvoStudioMain");
  FrameAutosave other(file(), "Other");
  other.save({500, 400, 1, 2, false});
  main.save({1100, 740, 10, 20, false});
  main.save({1000, 700, 10, 20, false});
  ASSERT_TRUE(other.load().has_value());
  EXPECT_EQ(other.load()->width, 500);
  EXPECT_EQ(main.load()->width, 1000);
}

TEST_F(FrameAutosaveTest, DamagedEntriesReadAsNoFrame) {
  fs::create_directories(file().parent_path());
  FrameAutosave autosave(file(), "TarvoStudioMain");
  for (const char* text : {
           "not a key file at all \x01\x02",
           "[TarvoStudioMain]\nwidth=abc\nheight=700\n",
           "[TarvoStudioMain]\nwidth=-5\nheight=700\n",
           "[TarvoStudioMain]\nwidth=1000\n",
           "[TarvoStudioMain]\nwidth=99999999\nheight=700\n",
           "[Elsewhere]\nwidth=1000\nheight=700\n",
       }) {
    write(text);
    EXPECT_FALSE(autosave.load().has_value()) << text;
  }
  // A good size with a nonsensical position keeps the size only.
  write("[TarvoStudioMain]\nwidth=1000\nheight=700\nx=oops\ny=3\n");
  const auto frame = autosave.load();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->width, 1000);
  EXPECT_FALSE(frame->x.has_value());
}

TEST_F(FrameAutosaveTest, AnUnwritableFolderIsIgnored) {
  write(""); // fails: no folder yet, and none is made by write()
  fs::create_directories(folder_ / "blocked");
  std::ofstream(folder_ / "blocked" / "state") << "a file where the folder should be";
  FrameAutosave autosave(folder_ / "blocked" / "state" / "window.ini", "TarvoStudioMain");
  autosave.save({1100, 740, 0, 0, false}); // no crash, no exception
  EXPECT_FALSE(autosave.load().has_value());
}

// Nothing waits on a FIFO where the file belongs: it reads as no frame, and a
// save puts a file in its place. Run where an alarm ends a hang.
TEST_F(FrameAutosaveTest, AFifoInItsPlaceNeverBlocks) {
  fs::create_directories(file().parent_path());
  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::alarm(5);
        FrameAutosave autosave(file(), "TarvoStudioMain");
        const bool none = !autosave.load();
        autosave.save({900, 600, 1, 2, false});
        std::exit(none && autosave.load() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(FrameAutosaveFile, LivesInTheStateFolderAndNowhereWithoutOne) {
  EXPECT_EQ(FrameAutosave::fileIn("/home/ada/.local/state/Tarvo Studio"),
            fs::path("/home/ada/.local/state/Tarvo Studio/window.ini"));
  // Not "window.ini" in whatever the working folder happens to be.
  EXPECT_TRUE(FrameAutosave::fileIn({}).empty());
  FrameAutosave nowhere(FrameAutosave::fileIn({}), "TarvoStudioMain");
  nowhere.save({1100, 740, 0, 0, false});
  EXPECT_FALSE(nowhere.load().has_value());
}

} // namespace
} // namespace tarvo::gtk
