// What each server answers when it refuses a statement for a reason the SQL
// driver acts on, as its ODBC driver says it: found by trying the SQLite ODBC
// driver, psqlODBC and the stand-in that speaks as SQL Server. Both doubles of
// SQL Server answer from these rows; the tests hold the dialect table and the
// real drivers to them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/sql/server_dialect.h"

namespace testsupport {

struct ServerAnswer {
  std::string_view server;  // SQL_DBMS_NAME; "Other": a server the dialect table does not name
  rt::Refusal refusal;
  std::string_view state2;  // the SQLSTATE an ODBC 2 caller (the program) gets
  std::string_view state3;  // the SQLSTATE an ODBC 3 caller gets
  int32_t native;
  bool actedOn;             // the dialect takes it for the refusal
};

// Every row; where a server has more than one answer to a refusal, in the
// order it gives them.
const std::vector<ServerAnswer>& ServerAnswers();

// The server's first answer to the refusal.
const ServerAnswer& AnswerOf(std::string_view server, rt::Refusal refusal);

}  // namespace testsupport
