// Standard dates and times and their 4-byte storages, with the carries of DATE.
#include <gtest/gtest.h>

#include <ctime>

#include "runtime/base/datetime.h"

namespace rt {
namespace {

int CurrentYear() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm.tm_year + 1900;
}

TEST(StandardDate, DateCarriesAndLimits) {
  const int32_t jan2000 = 72687;
  EXPECT_EQ(DATE(1, 1, 1801), 4);
  EXPECT_EQ(DATE(12, 31, 9999), 2994626);
  EXPECT_EQ(DATE(1, 1, 2000), jan2000);
  const struct {
    const char* what;
    int32_t got, expect;
  } cases[] = {
      {"30 February 2015 runs into March", DATE(2, 30, 2015), DATE(3, 2, 2015)},
      {"day 0 is the last day of the month before", DATE(3, 0, 2015), DATE(2, 28, 2015)},
      {"day 0 of a leap March", DATE(3, 0, 2016), DATE(2, 29, 2016)},
      {"day 0 of January", DATE(1, 0, 2000), DATE(12, 31, 1999)},
      {"negative day", DATE(1, -30, 2000), DATE(12, 1, 1999)},
      {"month 13 carries into the next year", DATE(13, 1, 2015), DATE(1, 1, 2016)},
      {"month 25 carries two years", DATE(25, 10, 2015), DATE(1, 10, 2017)},
      {"day past the end runs several months", DATE(1, 60, 2015), DATE(3, 1, 2015)},
      {"1900 is not a leap year", DATE(2, 29, 1900), DATE(3, 1, 1900)},
      {"month 0", DATE(0, 1, 2015), -1},
      {"negative month", DATE(-1, 1, 2015), -1},
      {"year after 9999", DATE(1, 1, 10000), -1},
      {"month 13 of 9999", DATE(13, 1, 9999), -1},
      {"past 31 December 9999", DATE(12, 32, 9999), -1},
      {"year before 1801", DATE(12, 31, 1800), -1},
      {"day 0 of January 1801", DATE(1, 0, 1801), -1},
      {"year 100 is not windowed", DATE(1, 1, 100), -1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expect) << c.what;
}

TEST(StandardDate, TwoDigitYearsFallInTheCenturyWindow) {
  const int cur = CurrentYear();
  const int low = cur - 80, high = cur + 19;
  EXPECT_EQ(DATE(6, 15, low % 100), DATE(6, 15, low));
  EXPECT_EQ(DATE(6, 15, high % 100), DATE(6, 15, high));
  EXPECT_EQ(DATE(6, 15, cur % 100), DATE(6, 15, cur));
  // With a fixed current year the window's edges are exact: 1945 to 2044.
  const struct {
    int32_t twoDigits, full;
  } window[] = {{45, 1945}, {99, 1999}, {0, 2000}, {25, 2025}, {44, 2044}};
  for (const auto& w : window)
    EXPECT_EQ(DateWithCurrentYear(3, 1, w.twoDigits, 2025), DateWithCurrentYear(3, 1, w.full, 2025)) << w.twoDigits;
}

TEST(DateStorageTest, FromAndToStorage) {
  const struct {
    const char* what;
    DateStorage stored;
    int32_t expect;
  } from[] = {
      {"empty date", {0, 0, 0}, 0},
      {"first day", {1, 1, 1801}, 4},
      {"last day", {31, 12, 9999}, 2994626},
      {"year above 9999 reads as the last day", {1, 1, 10000}, 2994626},
      {"year 65535", {0, 0, 65535}, 2994626},
      {"30 February carries", {30, 2, 2015}, DATE(3, 2, 2015)},
      {"day 0 of March", {0, 3, 2015}, DATE(2, 28, 2015)},
      {"month 13 carries", {1, 13, 2015}, DATE(1, 1, 2016)},
      {"month 0 gives no date", {5, 0, 2015}, 0},
      {"year before 1801 gives no date", {1, 1, 1800}, 0},
  };
  for (const auto& c : from) EXPECT_EQ(DateFromStorage(c.stored), c.expect) << c.what;

  EXPECT_EQ(DateToStorage(4), (DateStorage{1, 1, 1801}));
  EXPECT_EQ(DateToStorage(72687), (DateStorage{1, 1, 2000}));
  EXPECT_EQ(DateToStorage(2994626), (DateStorage{31, 12, 9999}));
  for (int32_t outside : {0, 3, -1, 2994627}) EXPECT_EQ(DateToStorage(outside), DateStorage{}) << outside;
  for (int32_t d = 4; d < 2994626; d += 997) EXPECT_EQ(DateFromStorage(DateToStorage(d)), d) << d;

  // Byte layout: day, month, year low byte first.
  uint8_t bytes[4] = {};
  DateStorage{29, 2, 2016}.Store(bytes);
  EXPECT_EQ(bytes[0], 29);
  EXPECT_EQ(bytes[1], 2);
  EXPECT_EQ(bytes[2], 0xE0);
  EXPECT_EQ(bytes[3], 0x07);
  EXPECT_EQ(DateStorage::Load(bytes), (DateStorage{29, 2, 2016}));
}

TEST(TimeStorageTest, FromAndToStorage) {
  const struct {
    const char* what;
    TimeStorage stored;
    int32_t expect;
  } from[] = {
      {"empty time", {0, 0, 0, 0}, 0},
      {"one hundredth past midnight", {1, 0, 0, 0}, 2},
      {"last hundredth", {99, 59, 59, 23}, 8640000},
      {"24:00", {0, 0, 0, 24}, -1},
      {"60 minutes", {0, 0, 60, 10}, -1},
      {"60 seconds", {0, 60, 0, 10}, -1},
      {"100 hundredths", {100, 0, 0, 10}, -1},
      {"12:34:56.78", {78, 56, 34, 12}, ((12 * 60 + 34) * 60 + 56) * 100 + 78 + 1},
  };
  for (const auto& c : from) EXPECT_EQ(TimeFromStorage(c.stored), c.expect) << c.what;

  EXPECT_EQ(TimeToStorage(1), TimeStorage{});  // midnight stores as the empty time
  EXPECT_EQ(TimeToStorage(8640000), (TimeStorage{99, 59, 59, 23}));
  EXPECT_EQ(TimeToStorage(4527879), (TimeStorage{78, 38, 34, 12}));
  for (int32_t outside : {0, -5, 8640001}) EXPECT_EQ(TimeToStorage(outside), TimeStorage{}) << outside;
  for (int32_t t = 2; t <= 8640000; t += 7919) EXPECT_EQ(TimeFromStorage(TimeToStorage(t)), t) << t;

  uint8_t bytes[4] = {};
  TimeStorage{7, 8, 9, 10}.Store(bytes);
  EXPECT_EQ(bytes[0], 7);
  EXPECT_EQ(bytes[3], 10);
  EXPECT_EQ(TimeStorage::Load(bytes), (TimeStorage{7, 8, 9, 10}));
}

TEST(Clock, TodayAndClockAreValidStandardValues) {
  const int32_t today = TODAY();
  EXPECT_GT(today, DATE(1, 1, 2020));
  const int32_t now = CLOCK();
  EXPECT_GE(now, 1);
  EXPECT_LE(now, 8640000);
}

}  // namespace
}  // namespace rt
