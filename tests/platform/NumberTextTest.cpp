// Numbers written into files read with a point whatever the process locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/NumberText.h"

namespace {

TEST(NumberText, FixedDecimalsWithAPointUnderEveryLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr) ? std::setlocale(LC_ALL, nullptr) : "C";
#ifdef TARVEX_TEST_LOCPATH
  ::setenv("LOCPATH", TARVEX_TEST_LOCPATH, 1);
#endif
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    SCOPED_TRACE(locale);
    if (!std::setlocale(LC_ALL, locale)) continue;
    EXPECT_EQ(platform::FixedText(595.2756, 2), "595.28");
    EXPECT_EQ(platform::FixedText(841.92, 2), "841.92");
    EXPECT_EQ(platform::FixedText(1234567.5, 1), "1234567.5");  // no grouping
    EXPECT_EQ(platform::FixedText(-0.125, 3), "-0.125");
    EXPECT_EQ(platform::FixedText(612, 0), "612");
    EXPECT_EQ(platform::FixedText(std::numeric_limits<double>::infinity(), 2), "0.00");
    EXPECT_EQ(platform::FixedText(std::numeric_limits<double>::quiet_NaN(), 2), "0.00");
    EXPECT_EQ(platform::FixedText(1e300, 2).size(), 301u + 3u);
  }
  std::setlocale(LC_ALL, saved.c_str());
  ::unsetenv("LOCPATH");
}

}  // namespace
