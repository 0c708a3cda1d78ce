// The backend client's refusals: what it decides before anything is sent.
#include "protocol/BackendClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>

namespace tarvo::protocol {
namespace {

TEST(BackendClient, WithoutATokenRefusesAndReadsTheTokenForEveryRequest) {
  std::atomic<int> reads = 0;
  std::string token;
  BackendClient client("http://127.0.0.1:7810", [&] {
    ++reads;
    return token;
  });
  std::atomic<bool> replied = false;

  const std::optional<PostOutcome> refusal =
      client.post(Route::call, {{"run", 1}}, [&](const PostOutcome&) { replied = true; });
  ASSERT_TRUE(refusal);
  EXPECT_FALSE(refusal->ok);
  EXPECT_EQ(refusal->message, "This install has no token yet; restart Tarvo Studio.");
  EXPECT_EQ(client.busy(5), std::nullopt);
  EXPECT_EQ(client.post(Route::approve, nlohmann::json::object(), {})->message, refusal->message);

  EXPECT_EQ(reads, 3) << "the token is read afresh each time, never kept";
  EXPECT_FALSE(replied) << "a refused call never reaches its completion";
}

TEST(BackendClient, AnAddressThatDoesNotParseSendsNothing) {
  std::atomic<int> reads = 0;
  BackendClient client("http://[::1", [&] {
    ++reads;
    return std::string("tok");
  });
  std::atomic<bool> replied = false;

  const std::optional<PostOutcome> refusal =
      client.post(Route::call, {{"run", 1}}, [&](const PostOutcome&) { replied = true; });
  ASSERT_TRUE(refusal);
  EXPECT_FALSE(refusal->ok);
  EXPECT_EQ(refusal->message, "bad address");
  EXPECT_EQ(reads, 0) << "the address is judged before the token is read";
  EXPECT_EQ(client.pingName(5), std::nullopt);
  EXPECT_EQ(client.busy(5), std::nullopt);
  EXPECT_FALSE(replied);
}

TEST(Route, RawValuesAreTheWirePaths) {
  EXPECT_EQ(rawValue(Route::approve), "/api/approve");
  EXPECT_EQ(routeNamed(rawValue(Route::call)), Route::call);
  EXPECT_EQ(routeNamed("/API/CALL"), std::nullopt);
}

} // namespace
} // namespace tarvo::protocol
