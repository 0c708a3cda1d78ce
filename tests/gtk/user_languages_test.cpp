// The user's languages as the locale names them, for Accept-Language and
// spelling: variants of one language once, the C locale none.
#include "gtk/UserLanguages.h"

#include <gtest/gtest.h>

namespace tarvo::gtk {
namespace {

TEST(UserLanguages, TheLocaleGivesEachLanguageOnceMostWantedFirst) {
  const char* german[] = {"de_DE.UTF-8", "de_DE", "de.UTF-8", "de", "C", nullptr};
  EXPECT_EQ(userLanguages(german), (std::vector<std::string>{"de_DE", "de"}));
  const char* several[] = {"fr_CH@euro", "fr_CH", "fr", "en_GB", "en", "C", nullptr};
  EXPECT_EQ(userLanguages(several), (std::vector<std::string>{"fr_CH", "fr", "en_GB", "en"}));
  const char* plain[] = {"C.UTF-8", "C", "POSIX", nullptr};
  EXPECT_TRUE(userLanguages(plain).empty());
}

} // namespace
} // namespace tarvo::gtk
