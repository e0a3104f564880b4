// Date and time conversions between the field storages, standard dates and times
// and the calendar, and today's date and the time now.
#include "runtime/base/datetime.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace rt {

namespace {

// Days since 1 January 1970 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

// Day number 4 is 1 January 1801.
const int64_t kEpochOffset = DaysFromCivil(1801, 1, 1) - kFirstStandardDate;

std::tm LocalNow(long& hundredths) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  hundredths = static_cast<long>((ms % 1000 + 1000) % 1000 / 10);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

}  // namespace

DateStorage DateStorage::Load(const uint8_t* b) {
  return DateStorage{b[0], b[1], static_cast<uint16_t>(b[2] | b[3] << 8)};
}

void DateStorage::Store(uint8_t* b) const {
  b[0] = day;
  b[1] = month;
  b[2] = static_cast<uint8_t>(year & 0xFF);
  b[3] = static_cast<uint8_t>(year >> 8);
}

TimeStorage TimeStorage::Load(const uint8_t* b) { return TimeStorage{b[0], b[1], b[2], b[3]}; }

void TimeStorage::Store(uint8_t* b) const {
  b[0] = hundredths;
  b[1] = seconds;
  b[2] = minutes;
  b[3] = hours;
}

DateTimeStorage DateTimeStorage::Load(const uint8_t* b) { return {DateStorage::Load(b), TimeStorage::Load(b + 4)}; }

void DateTimeStorage::Store(uint8_t* b) const {
  date.Store(b);
  time.Store(b + 4);
}

int32_t DateWithCurrentYear(int32_t month, int32_t day, int32_t year, int32_t currentYear) {
  int64_t y = year;
  if (y >= 0 && y < 100) {
    const int64_t low = currentYear - 80;  // the window holds exactly one year of each ending
    y = low + ((y - low % 100) % 100 + 100) % 100;
  }
  if (month < 1) return -1;
  y += (month - 1) / 12;
  const unsigned m = static_cast<unsigned>((month - 1) % 12 + 1);
  if (y < 1801 || y > 9999) return -1;
  const int64_t result = DaysFromCivil(y, m, 1) - kEpochOffset + int64_t(day) - 1;
  if (result < kFirstStandardDate || result > kLastStandardDate) return -1;
  return static_cast<int32_t>(result);
}

int32_t DATE(int32_t month, int32_t day, int32_t year) {
  long hundredths = 0;
  const std::tm now = LocalNow(hundredths);
  return DateWithCurrentYear(month, day, year, now.tm_year + 1900);
}

int32_t DateFromStorage(const DateStorage& stored) {
  if (stored.year > 9999) return kLastStandardDate;
  const int32_t d = DATE(stored.month, stored.day, stored.year);
  return d < 0 ? 0 : d;
}

DateStorage DateToStorage(int32_t standardDate) {
  if (standardDate < kFirstStandardDate || standardDate > kLastStandardDate) return {};
  int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(int64_t(standardDate) + kEpochOffset, y, m, d);
  return DateStorage{static_cast<uint8_t>(d), static_cast<uint8_t>(m), static_cast<uint16_t>(y)};
}

int32_t TimeFromStorage(const TimeStorage& t) {
  if (t == TimeStorage{}) return 0;
  if (t.hours > 23 || t.minutes > 59 || t.seconds > 59 || t.hundredths > 99) return -1;
  return ((t.hours * 60 + t.minutes) * 60 + t.seconds) * 100 + t.hundredths + 1;
}

TimeStorage TimeToStorage(int32_t standardTime) {
  if (standardTime < 1 || standardTime > kLastStandardTime) return {};
  int32_t v = standardTime - 1;
  TimeStorage t;
  t.hundredths = static_cast<uint8_t>(v % 100);
  v /= 100;
  t.seconds = static_cast<uint8_t>(v % 60);
  v /= 60;
  t.minutes = static_cast<uint8_t>(v % 60);
  t.hours = static_cast<uint8_t>(v / 60);
  return t;
}

int32_t TODAY() {
  long hundredths = 0;
  const std::tm now = LocalNow(hundredths);
  return DateWithCurrentYear(now.tm_mon + 1, now.tm_mday, now.tm_year + 1900, now.tm_year + 1900);
}

int32_t CLOCK() {
  long hundredths = 0;
  const std::tm now = LocalNow(hundredths);
  return ((now.tm_hour * 60 + now.tm_min) * 60 + std::min(now.tm_sec, 59)) * 100 +
         static_cast<int32_t>(hundredths) + 1;
}

}  // namespace rt
