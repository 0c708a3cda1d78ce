#include "integration/fixtures/Fixtures.h"
#include "supervisor/Interpreter.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using test::install;
using test::readFile;
using test::TempFolder;

const std::string probeLine = "-c import sys; sys.exit(0 if sys.version_info >= (3, 10) else 1)\n";

TEST(Interpreter, CandidatesStartInTheResourcesAndKeepTheirOrder) {
  EXPECT_EQ(interpreterCandidates("/opt/Tarvo Studio/Resources"),
            (std::vector<std::string>{
                "/opt/Tarvo Studio/Resources/python/bin/python3",
                "/opt/homebrew/opt/python@3.14/bin/python3.14",
                "/opt/homebrew/bin/python3",
                "/usr/local/bin/python3",
                "/opt/homebrew/opt/python@3.13/bin/python3.13",
                "/usr/bin/python3",
            }));
  EXPECT_EQ(interpreterCandidates("").front(), "/python/bin/python3");
}

TEST(Interpreter, TakesTheFirstCandidateThatPassesAndAsksNoFurther) {
  TempFolder folder;
  install("good-python", folder / "first/python3");
  install("good-python", folder / "second/python3");

  auto found =
      findInterpreter({(folder / "first/python3").string(), (folder / "second/python3").string()});

  EXPECT_EQ(found, (folder / "first/python3").string());
  EXPECT_EQ(readFile(folder / "first/python3.calls"), probeLine) << "asked exactly the probe";
  EXPECT_FALSE(std::filesystem::exists(folder / "second/python3.calls"));
}

TEST(Interpreter, SkipsWhatIsMissingNotExecutableOrFailsTheProbe) {
  TempFolder folder;
  install("old-python", folder / "old");
  install("not-python", folder / "not-python");
  install("no-shebang", folder / "text");
  install("good-python", folder / "unmarked");
  ::chmod((folder / "unmarked").c_str(), 0644);
  std::filesystem::create_directories(folder / "a-folder");
  install("good-python", folder / "good");

  auto found = findInterpreter({
      (folder / "absent").string(),
      (folder / "a-folder").string(),
      (folder / "unmarked").string(),
      (folder / "old").string(),
      (folder / "not-python").string(),
      (folder / "text").string(),
      (folder / "good").string(),
  });

  EXPECT_EQ(found, (folder / "good").string());
  EXPECT_EQ(readFile(folder / "old.calls"), probeLine) << "the old one was probed and refused";
  EXPECT_FALSE(std::filesystem::exists(folder / "unmarked.calls"));
}

TEST(Interpreter, KillsAProbeThatNeverEndsAndGoesOn) {
  TempFolder folder;
  install("hanging-python", folder / "hangs");
  install("good-python", folder / "good");

  auto began = std::chrono::steady_clock::now();
  auto found = findInterpreter({(folder / "hangs").string(), (folder / "good").string()}, 300ms);
  auto took = std::chrono::steady_clock::now() - began;

  EXPECT_EQ(found, (folder / "good").string());
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 5s);
  pid_t hung = std::stoi(readFile(folder / "hangs.pid"));
  EXPECT_FALSE(test::processExists(hung)) << "killed and reaped";
}

TEST(Interpreter, FindsNothingAndLeavesNoProcessWhenNoneIsUsable) {
  TempFolder folder;
  install("old-python", folder / "old");
  install("not-python", folder / "not-python");
  install("hanging-python", folder / "hangs");

  auto found = findInterpreter(
      {(folder / "old").string(), (folder / "not-python").string(), (folder / "hangs").string()},
      200ms);

  EXPECT_EQ(found, std::nullopt);
  EXPECT_TRUE(test::eventually([] { return test::childrenOfThisProcess().empty(); }, 2s));
  EXPECT_FALSE(test::processExists(std::stoi(readFile(folder / "hangs.pid"))));
}

} // namespace
} // namespace tarvo
