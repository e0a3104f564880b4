// The servers' answers to the refusals the SQL driver acts on.
#include "support/server_answers.h"

#include <cstdlib>

namespace testsupport {

// SQL Server with its own native numbers. PostgreSQL's own SQLSTATEs through
// psqlODBC, which numbers a refusal of the server 1 and one for a connection
// gone 35 (the first with the server's last word, 57P01 at a shutdown, every
// later one 08S01); its 42P07 ("a relation of the name exists") is not acted on: the
// transaction it ends takes no DROP, and the index it names may be another
// table's. The SQLite ODBC driver: one SQLSTATE for all, SQLite's result code
// as the native one (1 any error, 19 a constraint). Any other server: ODBC's
// own states; a connection gone is any of class 08 (the link failed, none
// could be made, none is open, it failed inside a transaction).
const std::vector<ServerAnswer>& ServerAnswers() {
  using R = rt::Refusal;
  static const std::vector<ServerAnswer> answers = {
      // server      refusal            ODBC 2   ODBC 3   native acted on
      {"SQL Server", R::TableExists, "S0001", "42S01", 2714, true},
      {"SQL Server", R::IndexExists, "S0011", "42S11", 1913, true},
      {"SQL Server", R::TableMissing, "S0002", "42S02", 208, true},
      {"SQL Server", R::DuplicateKey, "23000", "23000", 2627, true},
      {"PostgreSQL", R::TableExists, "42P07", "42P07", 1, false},
      {"PostgreSQL", R::IndexExists, "42P07", "42P07", 1, false},
      {"PostgreSQL", R::TableMissing, "42P01", "42P01", 1, true},
      {"PostgreSQL", R::ConnectionLost, "57P01", "57P01", 35, true},
      {"PostgreSQL", R::ConnectionLost, "08S01", "08S01", 35, true},
      {"PostgreSQL", R::DuplicateKey, "23505", "23505", 1, true},
      {"SQLite", R::TableExists, "S1000", "HY000", 1, false},
      {"SQLite", R::IndexExists, "S1000", "HY000", 1, false},
      {"SQLite", R::TableMissing, "S1000", "HY000", 1, false},
      {"SQLite", R::DuplicateKey, "S1000", "HY000", 19, true},
      {"SQLite", R::TransactionEnded, "S1000", "HY000", 13, true},
      {"Other", R::TableExists, "S0001", "42S01", 0, true},
      {"Other", R::IndexExists, "S0011", "42S11", 0, true},
      {"Other", R::TableMissing, "S0002", "42S02", 0, true},
      {"Other", R::ConnectionLost, "08S01", "08S01", 0, true},
      {"Other", R::ConnectionLost, "08001", "08001", 0, true},
      {"Other", R::ConnectionLost, "08003", "08003", 0, true},
      {"Other", R::ConnectionLost, "08007", "08007", 0, true},
      {"Other", R::DuplicateKey, "23000", "23000", 0, true},
  };
  return answers;
}

const ServerAnswer& AnswerOf(std::string_view server, rt::Refusal refusal) {
  for (const ServerAnswer& answer : ServerAnswers())
    if (answer.server == server && answer.refusal == refusal) return answer;
  std::abort();  // a double asked for an answer no row gives
}

}  // namespace testsupport
