// The SQL driver's trace: one line a call, each headed by the driver's name.
#include "runtime/sql/sql_trace.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>

namespace rt {

bool SqlTraceOn() {
  const char* v = std::getenv("ORTAVIA_SQL_TRACE");
  return v && std::strcmp(v, "1") == 0;
}

void SqlTrace(const std::string& line) {
  if (!SqlTraceOn()) return;
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  std::cerr << "[" << kSqlDriverName << "] " << line << "\n";
}

}  // namespace rt
