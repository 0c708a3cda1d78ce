// The install token, the window address and the fixed settings.
#include "supervisor/Service.h"
#include "support/FakeQueues.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace tarvo {
namespace {

namespace fs = std::filesystem;

// A user home of its own for each test, removed afterwards.
class TokenTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo-token-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    userHome_ = pattern;
    service_ =
        Service::make(std::make_shared<test::FakeMainQueue>(), UserFolders::under(userHome_, {}));
  }
  void TearDown() override { fs::remove_all(userHome_); }

  fs::path tokenFile() const { return service_->home() / "ui.token"; }
  void writeToken(const std::string& bytes) const {
    fs::create_directories(service_->home());
    std::ofstream(tokenFile(), std::ios::binary | std::ios::trunc) << bytes;
  }

  fs::path userHome_;
  std::shared_ptr<Service> service_;
};

constexpr std::size_t kib = 1024;

struct TokenCase {
  const char* label;
  std::string bytes;
  std::string token;
};

class TokenText : public TokenTest, public ::testing::WithParamInterface<TokenCase> {};

TEST_P(TokenText, IsTrimmedOrRefused) {
  writeToken(GetParam().bytes);
  EXPECT_EQ(service_->token(), GetParam().token);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TokenText,
    ::testing::Values(
        TokenCase{"plain", "abc123", "abc123"}, TokenCase{"trailingNewline", "abc123\n", "abc123"},
        TokenCase{"spacesAndTabsBothEnds", " \t abc 123\r\n\n", "abc 123"},
        TokenCase{"onlyWhitespace", "  \n\t\r\n  ", ""}, TokenCase{"empty", "", ""},
        TokenCase{"unicodeSpacesTrimmed", "\u00a0\u2003abc\u3000\u2028\u0085", "abc"},
        TokenCase{"innerUnicodeKept", "a\u00e9\u00a0b", "a\u00e9\u00a0b"},
        TokenCase{"innerLineBreaks", "abc\r\nX-Evil: 1", ""},
        TokenCase{"innerNewline", "abc\ndef\n", ""},
        TokenCase{"innerNul", std::string("ab\0c", 4), ""},
        TokenCase{"innerC1Control", "ab\u0085cd", ""},
        TokenCase{"innerDelete",
                  "ab\x7f"
                  "cd",
                  ""},
        TokenCase{"invalidUtf8", "abc\xff", ""}, TokenCase{"overlongSlash", "a\xc0\xaf", ""},
        TokenCase{"surrogate", "a\xed\xa0\x80", ""},
        TokenCase{"truncatedSequence", "abc\xe2\x82", ""},
        TokenCase{"largestAllowed", std::string(kib * 64, 'k'), std::string(kib * 64, 'k')},
        TokenCase{"tooLarge", std::string(kib * 65, 'k'), ""}),
    [](const auto& testCase) { return testCase.param.label; });

TEST_F(TokenTest, MissingFolderOrFileGivesEmptyAndCreatesNothing) {
  EXPECT_EQ(service_->token(), "");
  EXPECT_EQ(service_->windowURL(), "http://127.0.0.1:7810/");
  EXPECT_FALSE(fs::exists(service_->home().parent_path()));
  fs::create_directories(service_->home());
  EXPECT_EQ(service_->token(), "");
  EXPECT_TRUE(fs::is_empty(service_->home()));
}

TEST_F(TokenTest, ReadAfreshEveryTime) {
  EXPECT_EQ(service_->token(), "");
  writeToken("first\n");
  EXPECT_EQ(service_->token(), "first");
  writeToken("second");
  EXPECT_EQ(service_->token(), "second");
  fs::remove(tokenFile());
  EXPECT_EQ(service_->token(), "");
}

TEST_F(TokenTest, FifoIsRefusedWithoutBlocking) {
  fs::create_directories(service_->home());
  ASSERT_EQ(::mkfifo(tokenFile().c_str(), 0600), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(service_->token(), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST_F(TokenTest, DirectoryIsRefused) {
  fs::create_directories(tokenFile());
  EXPECT_EQ(service_->token(), "");
}

TEST_F(TokenTest, WindowURLCarriesTheTokenUnescaped) {
  writeToken("tok-\u00e9n%41\n");
  EXPECT_EQ(service_->windowURL(), "http://127.0.0.1:7810/#t=tok-\u00e9n%41");
  writeToken(" \n ");
  EXPECT_EQ(service_->windowURL(), "http://127.0.0.1:7810/");
  writeToken("has space"); // not a URL any more
  EXPECT_EQ(service_->windowURL(), std::nullopt);
}

TEST_F(TokenTest, FoldersComeFromTheUserHome) {
  EXPECT_EQ(service_->home(), userHome_ / ".local/share/Tarvo Studio");
  EXPECT_EQ(service_->logURL(), userHome_ / ".local/state/Tarvo Studio.log");
  EXPECT_EQ(service_->folders().bytecodeCache, userHome_ / ".local/state/Tarvo Studio");
  EXPECT_EQ(service_->folders().oldBytecodeCache, userHome_ / ".cache/Tarvo Studio");
  EXPECT_EQ(service_->folders().windowState, userHome_ / ".local/state/Tarvo Studio");
  EXPECT_EQ(service_->serviceFolder(), fs::path());
  auto withResources =
      Service::make(std::make_shared<test::FakeMainQueue>(), UserFolders::under(userHome_, "/r"));
  EXPECT_EQ(withResources->serviceFolder(), fs::path("/r/tarvo-studio"));
  EXPECT_EQ(Service::base(), "http://127.0.0.1:7810");
}

TEST(UserFolders, ComeFromPasswdAndTheExecutableNotTheEnvironment) {
  ::setenv("HOME", "/nowhere/else", 1); // NOLINT(concurrency-mt-unsafe): must not be read
  const UserFolders& current = UserFolders::current();
  const passwd* entry = ::getpwuid(::getuid()); // NOLINT(concurrency-mt-unsafe): one thread
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(current.userHome, fs::path(entry->pw_dir));
  EXPECT_EQ(current.resources,
            fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "Resources");
  EXPECT_EQ(current.data, fs::path(entry->pw_dir) / ".local/share/Tarvo Studio");
  EXPECT_EQ(&current, &UserFolders::current());
}

TEST(Route, RawValuesBothWays) {
  EXPECT_EQ(Service::rawValue(Service::Route::approve), "/api/approve");
  EXPECT_EQ(Service::rawValue(Service::Route::call), "/api/call");
  EXPECT_EQ(Service::route("/api/approve"), Service::Route::approve);
  EXPECT_EQ(Service::route("/api/call"), Service::Route::call);
  for (const char* other : {"/api/Call", "/api/call/", "api/call", "", "/api/ping"}) {
    EXPECT_EQ(Service::route(other), std::nullopt) << other;
  }
}

} // namespace
} // namespace tarvo
