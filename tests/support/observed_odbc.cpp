// The program's ODBC sessions with what they send noted, for the tests.
#include "support/observed_odbc.h"

#include "runtime/sql/odbc_session.h"

namespace testsupport {
namespace {

class ObservedSession : public rt::SqlSession {
 public:
  ObservedSession(std::unique_ptr<rt::SqlSession> inner, std::shared_ptr<OdbcObserver> observer)
      : inner_(std::move(inner)), observer_(std::move(observer)) {}

  rt::SqlStatus Exec(const std::string& sql, const std::vector<rt::SqlValue>& params) override {
    observer_->statements.push_back(sql);
    rt::SqlStatus ran = inner_->Exec(sql, params);
    if (observer_->afterStatement) observer_->afterStatement(sql, ran.ok());
    return ran;
  }
  rt::SqlResult<std::unique_ptr<rt::SqlCursor>> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                                      const std::vector<rt::SqlValue::Kind>& kinds) override {
    return inner_->Query(sql, params, kinds);
  }
  rt::SqlResult<std::vector<std::string>> Columns(const std::string& schema, const std::string& table) override {
    ++observer_->tableLookups;
    return inner_->Columns(schema, table);
  }
  rt::SqlResult<TableColumns> AllColumns(const std::string& schema) override {
    ++observer_->catalogListings;
    return inner_->AllColumns(schema);
  }
  rt::SqlResult<std::vector<rt::TypeInfoRow>> TypeInfo() override { return inner_->TypeInfo(); }
  rt::ServerInfo Info() override { return inner_->Info(); }
  bool Broken() override { return inner_->Broken(); }
  rt::SqlStatus BeginTransaction() override { return inner_->BeginTransaction(); }
  rt::SqlStatus EndTransaction(bool commit) override {
    observer_->ends.push_back(commit ? "commit" : "rollback");
    return inner_->EndTransaction(commit);
  }

 private:
  std::unique_ptr<rt::SqlSession> inner_;
  std::shared_ptr<OdbcObserver> observer_;
};

}  // namespace

rt::SqlSessionFactory ObservedOdbc(std::shared_ptr<OdbcObserver> observer) {
  return [observer](const std::string& owner) -> rt::SqlResult<std::unique_ptr<rt::SqlSession>> {
    rt::SqlResult<std::unique_ptr<rt::SqlSession>> inner = rt::OdbcConnect(owner);
    if (!inner) return inner;
    ++observer->connects;
    return std::make_unique<ObservedSession>(std::move(*inner), observer);
  };
}

}  // namespace testsupport
