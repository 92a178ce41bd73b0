// The user's languages on POSIX, read from the environment as gettext reads
// them.
#include "platform/posix/user_languages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace voderer::posix {
namespace {

using Wanted = std::vector<std::string>;

TEST(GettextLanguages, FollowGettextsOrderAndCMeansEnglish) {
  EXPECT_EQ(GettextLanguages({nullptr, nullptr, nullptr, "ko_KR.UTF-8"}), Wanted{"ko_KR.UTF-8"});
  EXPECT_EQ(GettextLanguages({nullptr, "ko_KR.UTF-8", "en_US", "en_US"}), Wanted{"ko_KR.UTF-8"});
  EXPECT_EQ(GettextLanguages({nullptr, "", "ko_KR", "en_US"}), Wanted{"ko_KR"});
  // LANGUAGE's list comes first, unless the locale is C or POSIX.
  EXPECT_EQ(GettextLanguages({"de::ko", nullptr, nullptr, "en_US.UTF-8"}), (Wanted{"de", "ko"}));
  EXPECT_EQ(GettextLanguages({"ko", "C", nullptr, "ko_KR.UTF-8"}), Wanted{});
  EXPECT_EQ(GettextLanguages({"ko", nullptr, "POSIX", nullptr}), Wanted{});
  EXPECT_EQ(GettextLanguages({"ko", nullptr, nullptr, nullptr}), Wanted{});
  EXPECT_EQ(GettextLanguages({"", nullptr, nullptr, "ko_KR"}), Wanted{"ko_KR"});
  EXPECT_EQ(GettextLanguages({"ko", nullptr, nullptr, "C.UTF-8"}), Wanted{"ko"});
}

}  // namespace
}  // namespace voderer::posix
