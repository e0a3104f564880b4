// The SQL file driver "MSSQL": tables on a server reached through an SQL
// session (ODBC), checked at open, created from their declaration when missing.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "runtime/files/files.h"
#include "runtime/sql/sql_session.h"
#include "runtime/sql/sql_trace.h"

namespace rt {

// Makes the session for an owner text, or answers why it cannot.
using SqlSessionFactory = std::function<SqlResult<std::unique_ptr<SqlSession>>(const std::string& owner)>;

class SqlDriver : public FileDriver {
 public:
  // Without a factory the driver connects through ODBC.
  explicit SqlDriver(SqlSessionFactory factory = {});
  ~SqlDriver() override;

  std::string Name() const override { return kSqlDriverName; }
  int Open(FileBlock& file, int mode) override;
  int Close(FileBlock& file) override;
  int Create(FileBlock& file) override;
  int Remove(FileBlock& file) override;
  int SetKey(FileBlock& file, const KeyDescriptor& key) override;
  int Next(FileBlock& file) override;
  int Get(FileBlock& file, const KeyDescriptor& key) override;
  int Add(FileBlock& file) override;
  int Put(FileBlock& file) override;
  bool GetProperty(FileBlock& file, int prop, std::string& value) override;
  int SetProperty(FileBlock& file, int prop, const std::string& value) override;
  int Transaction(FileBlock& file, TransactionStep step) override;
  void Destroy(FileBlock& file) override;

  // Closes the calling thread's connections of this driver (tables keep theirs
  // until they are released) and forgets the servers that did not answer.
  void DropThreadConnections();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Registers the SQL driver with ODBC sessions under "MSSQL".
void RegisterSqlDriver();

// True when the driver options set the option to TRUE ("/NOVERIFY=TRUE").
bool SqlOptionSet(std::string_view options, std::string_view name);

}  // namespace rt
