// The table of server dialects: how each server is recognised, how it behaves
// and which of its answers mean a refusal the driver acts on. A new quirk is a
// row here and a case in tests/support/server_answers.cpp.
#include "runtime/sql/server_dialect.h"

#include <cstdint>

namespace rt {

namespace {

// The last row is the fallback: a server no other row names.
constexpr ServerDialect kDialects[] = {
    // SQL_DBMS_NAME holds   refusal ends transaction   float is double   columns hold any value
    // SQL Server where the session sets XACT_ABORT ON: a refusal rolls back the
    // whole transaction (the tests' stand-in answers so in that mode).
    {"XACT_ABORT ON",        true,                      true,             false},
    {"SQL Server",           false,                     true,             false},
    {"PostgreSQL",           true,                      false,            false},
    {"SQLite",               false,                     false,            true},
    {"",                     false,                     false,            false},
};

// A server's answer and the refusal it means: an SQLSTATE (a class of two
// characters takes in each of its states) or, where the driver gives the
// refusal no SQLSTATE of its own, a native code. The fallback's rows (server
// "") hold for every server: they are ODBC's own states, each in its ODBC 2
// and its ODBC 3 spelling.
struct Sign {
  std::string_view server;
  Refusal refusal;
  std::string_view state;  // empty: any
  int32_t native;          // 0: any
};

constexpr Sign kSigns[] = {
    {"", Refusal::TableExists, "S0001", 0},
    {"", Refusal::TableExists, "42S01", 0},
    {"", Refusal::IndexExists, "S0011", 0},
    {"", Refusal::IndexExists, "42S11", 0},
    {"", Refusal::TableMissing, "S0002", 0},
    {"", Refusal::TableMissing, "42S02", 0},
    {"", Refusal::ConnectionLost, "08", 0},
    {"", Refusal::DuplicateKey, "23", 0},
    // PostgreSQL passes on its own SQLSTATEs. Its 42P07 ("a relation of the
    // name exists") is no sign of TableExists or IndexExists: after the
    // refusal the transaction takes no DROP, and index names are the schema's,
    // so the index may be another table's.
    {"PostgreSQL", Refusal::TableMissing, "42P01", 0},
    // psqlODBC numbers 35 each refusal for a connection gone: the first one
    // carries the server's last word (57P01 at a shutdown), later ones 08S01.
    {"PostgreSQL", Refusal::ConnectionLost, "", 35},
    // The SQLite driver answers S1000 (HY000) to everything, with SQLite's
    // result code as the native one: 19 for a constraint (UNIQUE, NOT NULL), as
    // class 23 elsewhere; an existing or missing table or index is 1, as any
    // other error, and so no sign.
    {"SQLite", Refusal::DuplicateKey, "", 19},
    // SQLite may roll a transaction back by itself at a full disk (13), an
    // I/O error (10) or memory running out (7).
    {"SQLite", Refusal::TransactionEnded, "", 13},
    {"SQLite", Refusal::TransactionEnded, "", 10},
    {"SQLite", Refusal::TransactionEnded, "", 7},
};

bool Matches(const Sign& sign, const SqlError& err) {
  if (!sign.state.empty() && !std::string_view(err.state).starts_with(sign.state)) return false;
  return sign.native == 0 || sign.native == err.native;
}

}  // namespace

bool ServerDialect::Means(const SqlError& err, Refusal refusal) const {
  for (const Sign& sign : kSigns)
    if (sign.refusal == refusal && (sign.server.empty() || sign.server == name) && Matches(sign, err)) return true;
  return false;
}

const ServerDialect& DialectOf(std::string_view dbmsName) {
  for (const ServerDialect& dialect : kDialects)
    if (dbmsName.find(dialect.name) != std::string_view::npos) return dialect;
  return kDialects[std::size(kDialects) - 1];  // not reached: the fallback's name is in every name
}

}  // namespace rt
