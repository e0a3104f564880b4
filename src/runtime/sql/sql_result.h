// What a call of an SQL session answers: a value, or the error the server or
// its driver refused it with.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "runtime/base/outcome.h"

namespace rt {

// A call the server or its driver refused: the SQLSTATE and native error code
// the driver gave, its message (without the driver's bracketed tags, every
// password masked) and the call that failed.
struct SqlError {
  std::string state;
  int32_t native = 0;
  std::string message;
  std::string call;  // the ODBC function ("SQLExecute", ...), or the session's own step
  // A connection that the server took without answering it within the login
  // bound: a new attempt would hold the caller as long again.
  bool unanswered = false;
};

// A refusal on its way into a result: return Failed(error).
using Failure = Because<SqlError>;
inline Failure Failed(SqlError error) { return {std::move(error)}; }

// A value, or the error that stands for it.
template <class T>
using SqlResult = Result<T, SqlError>;

// Success, or the error that stands for it.
using SqlStatus = Result<void, SqlError>;

}  // namespace rt
