// The program's ODBC sessions with what they send noted, for the tests.
#include "support/observed_odbc.h"

#include "runtime/sql/odbc_session.h"

namespace testsupport {
namespace {

class ObservedSession : public rt::SqlSession {
 public:
  ObservedSession(std::unique_ptr<rt::SqlSession> inner, std::shared_ptr<OdbcObserver> observer)
      : inner_(std::move(inner)), observer_(std::move(observer)) {}

  bool Exec(const std::string& sql, const std::vector<rt::SqlValue>& params, rt::SqlError& err) override {
    observer_->statements.push_back(sql);
    const bool ok = inner_->Exec(sql, params, err);
    if (observer_->afterStatement) observer_->afterStatement(sql, ok);
    return ok;
  }
  std::unique_ptr<rt::SqlCursor> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                       const std::vector<rt::SqlValue::Kind>& kinds, rt::SqlError& err) override {
    return inner_->Query(sql, params, kinds, err);
  }
  bool Columns(const std::string& schema, const std::string& table, std::vector<std::string>& names,
               rt::SqlError& err) override {
    ++observer_->tableLookups;
    return inner_->Columns(schema, table, names, err);
  }
  bool AllColumns(const std::string& schema, std::map<std::string, std::vector<std::string>>& tables,
                  rt::SqlError& err) override {
    ++observer_->catalogListings;
    return inner_->AllColumns(schema, tables, err);
  }
  bool TypeInfo(std::vector<rt::TypeInfoRow>& rows, rt::SqlError& err) override { return inner_->TypeInfo(rows, err); }
  rt::ServerInfo Info() override { return inner_->Info(); }
  bool Broken() override { return inner_->Broken(); }
  bool BeginTransaction(rt::SqlError& err) override { return inner_->BeginTransaction(err); }
  bool EndTransaction(bool commit, rt::SqlError& err) override {
    observer_->ends.push_back(commit ? "commit" : "rollback");
    return inner_->EndTransaction(commit, err);
  }

 private:
  std::unique_ptr<rt::SqlSession> inner_;
  std::shared_ptr<OdbcObserver> observer_;
};

}  // namespace

rt::SqlSessionFactory ObservedOdbc(std::shared_ptr<OdbcObserver> observer) {
  return [observer](const std::string& owner, rt::SqlError& err) -> std::unique_ptr<rt::SqlSession> {
    std::unique_ptr<rt::SqlSession> inner = rt::OdbcConnect(owner, err);
    if (!inner) return nullptr;
    ++observer->connects;
    return std::make_unique<ObservedSession>(std::move(inner), observer);
  };
}

}  // namespace testsupport
