// Result levels of the class library's operations, use kinds of
// TableManager::EnsureReady and referential modes of relations.
#pragma once

#include <cstdint>

namespace classlib {

inline constexpr int ResultOk = 0;
inline constexpr int ResultHardFail = 3;
inline constexpr int ResultSoftFail = 5;

inline constexpr uint8_t UseAccess = 2;      // the table is about to be read or written
inline constexpr uint8_t UseUnrecorded = 4;  // a use not recorded in the thread's use list
inline constexpr uint8_t UseInitialise = 5;  // complete the set-up and register the keys

inline constexpr uint8_t RelationNoAction = 0;
inline constexpr uint8_t RelationCascade = 1;
inline constexpr uint8_t RelationRestrict = 2;
inline constexpr uint8_t RelationClear = 3;

}  // namespace classlib
