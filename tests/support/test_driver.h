// A file driver for tests: registered under a name of the test's choosing,
// it answers each operation with the error codes the test scripts for it (in
// order, then the operation's default) and records every call.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/files.h"

namespace testsupport {

enum class DriverOp { Open, Close, Create, Build, Remove, SetKey, Next, Get, Add, Put, GetProperty, SetProperty, Destroy };

const char* DriverOpName(DriverOp op);

struct DriverAnswer {
  int code = 0;
  std::string fileCode;  // the file error that goes with a failure, when any
  std::string fileText;
};

struct DriverCall {
  DriverOp op;
  std::string table;  // the declaration's table name at the time of the call
  std::string key;    // the key's label for SetKey and Get
  std::string value;  // the property value for SetProperty
  int mode = 0;       // Open's access mode; the property number for properties
};

class ScriptedDriver : public rt::FileDriver {
 public:
  explicit ScriptedDriver(std::string name) : name_(std::move(name)) {}

  // Queues answers for the next calls of an operation.
  void Script(DriverOp op, std::vector<DriverAnswer> answers);
  void Script(DriverOp op, std::initializer_list<int> codes);
  // The answer once the queue of an operation is empty (0 unless set).
  void SetDefault(DriverOp op, DriverAnswer answer);
  // Runs before the answer of every call of the operation, with the key for
  // SetKey and Get (else null); its code, when not negative, replaces the
  // scripted answer. Lets a test fill the record buffer or count calls.
  using Hook = std::function<int(rt::FileBlock&, const rt::KeyDescriptor*)>;
  void SetHook(DriverOp op, Hook hook);
  // Answers for GetProperty by property number.
  void SetPropertyValue(int prop, std::string value);

  const std::vector<DriverCall>& calls() const { return calls_; }
  // The operations called, in order, as "Open T", "Get T K:KEY", ...
  std::vector<std::string> CallLog() const;
  size_t Count(DriverOp op) const;
  void ClearCalls() { calls_.clear(); }

  std::string Name() const override { return name_; }
  int Open(rt::FileBlock& file, int mode) override;
  int Close(rt::FileBlock& file) override;
  int Create(rt::FileBlock& file) override;
  int Build(rt::FileBlock& file) override;
  int Remove(rt::FileBlock& file) override;
  int SetKey(rt::FileBlock& file, const rt::KeyDescriptor& key) override;
  int Next(rt::FileBlock& file) override;
  int Get(rt::FileBlock& file, const rt::KeyDescriptor& key) override;
  int Add(rt::FileBlock& file) override;
  int Put(rt::FileBlock& file) override;
  bool GetProperty(rt::FileBlock& file, int prop, std::string& value) override;
  int SetProperty(rt::FileBlock& file, int prop, const std::string& value) override;
  void Destroy(rt::FileBlock& file) override;

 private:
  int Answer(DriverOp op, rt::FileBlock& file, const rt::KeyDescriptor* key, int mode = 0,
             std::string value = {});
  std::string name_;
  std::map<DriverOp, std::deque<DriverAnswer>> queues_;
  std::map<DriverOp, DriverAnswer> defaults_;
  std::map<DriverOp, Hook> hooks_;
  std::map<int, std::string> properties_;
  std::vector<DriverCall> calls_;
};

// Makes a driver of that name and registers it (replacing one of the same name).
std::shared_ptr<ScriptedDriver> InstallScriptedDriver(const std::string& name);

}  // namespace testsupport
