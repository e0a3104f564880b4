// The ways the SQL Server stand-in (sqlserver_odbc/standin.cpp) answers as
// another server does, asked for while an instance of StandInModes lives.
#pragma once

#include <cstdlib>
#include <string>

namespace testsupport {

// The environment variable the stand-in reads at each call: words separated by commas.
inline constexpr const char* kStandInModes = "ORTAVIA_STANDIN_MODES";
inline constexpr const char* kRefuseCommit = "refuse-commit";                    // the next commit, once
inline constexpr const char* kRefusalEndsTransaction = "refusal-ends-transaction";  // refuses all until the rollback
inline constexpr const char* kDmlTransactions = "dml-transactions";              // SQL_TC_DML: no DDL in a transaction
inline constexpr const char* kWarningFirst = "warning-first";                    // a class-01 record ahead of each error

class StandInModes {
 public:
  explicit StandInModes(const std::string& modes) { Set(modes); }
  ~StandInModes() { Clear(); }
  StandInModes(const StandInModes&) = delete;
  StandInModes& operator=(const StandInModes&) = delete;
  static void Set(const std::string& modes) { ::setenv(kStandInModes, modes.c_str(), 1); }
  static void Clear() { ::unsetenv(kStandInModes); }
  // Adds a mode to those asked for (the stand-in takes "refuse-commit" out when it refuses).
  static void Add(const std::string& mode) {
    const char* v = std::getenv(kStandInModes);
    Set(v && *v ? std::string(v) + "," + mode : mode);
  }
};

}  // namespace testsupport
