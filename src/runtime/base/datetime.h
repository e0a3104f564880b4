// Dates and times: the 4-byte DATE and TIME field storages and the standard
// date (day number, 4 = 1 January 1801) and standard time (hundredths since
// midnight plus 1).
#pragma once

#include <cstdint>

namespace rt {

inline constexpr int32_t kFirstStandardDate = 4;        // 1 January 1801
inline constexpr int32_t kLastStandardDate = 2994626;   // 31 December 9999
inline constexpr int32_t kLastStandardTime = 8640000;   // 23:59:59.99

// DATE field storage: day, month, year (low byte first); all zero is the empty date.
struct DateStorage {
  uint8_t day = 0;
  uint8_t month = 0;
  uint16_t year = 0;

  static DateStorage Load(const uint8_t* bytes);
  void Store(uint8_t* bytes) const;
  bool operator==(const DateStorage&) const = default;
};

// TIME field storage: hundredths, seconds, minutes, hours; all zero is the empty time.
struct TimeStorage {
  uint8_t hundredths = 0;
  uint8_t seconds = 0;
  uint8_t minutes = 0;
  uint8_t hours = 0;

  static TimeStorage Load(const uint8_t* bytes);
  void Store(uint8_t* bytes) const;
  bool operator==(const TimeStorage&) const = default;
};

// The 8-byte handle of a date and a time (an SQL date-time column): the DATE
// storage, then the TIME storage; all zero is no date-time.
struct DateTimeStorage {
  DateStorage date;
  TimeStorage time;

  static DateTimeStorage Load(const uint8_t* bytes);
  void Store(uint8_t* bytes) const;
  bool operator==(const DateTimeStorage&) const = default;
};

// The date a time without one is given where a date must go with it.
inline constexpr DateStorage kDateOfLoneTime{1, 1, 1900};  // 1 January 1900

// The standard date of a month, day and year: a year below 100 falls in the
// window from 80 years before to 19 years after the current year, months past
// 12 carry into later years, the day is an offset from the month's first day
// (0 is the last day of the month before). -1 for an invalid month or year or
// a result outside 1 January 1801 to 31 December 9999.
int32_t DATE(int32_t month, int32_t day, int32_t year);
// The same with the current year given (the window's centre of reference).
int32_t DateWithCurrentYear(int32_t month, int32_t day, int32_t year, int32_t currentYear);

int32_t DateFromStorage(const DateStorage& stored);
DateStorage DateToStorage(int32_t standardDate);
int32_t TimeFromStorage(const TimeStorage& stored);
TimeStorage TimeToStorage(int32_t standardTime);

// Today's local date and the current local time.
int32_t TODAY();
int32_t CLOCK();

}  // namespace rt
