// A scripted file driver for the tests: records each file statement and
// answers as told.
#include "support/test_driver.h"

namespace testsupport {

const char* DriverOpName(DriverOp op) {
  switch (op) {
    case DriverOp::Open: return "Open";
    case DriverOp::Close: return "Close";
    case DriverOp::Create: return "Create";
    case DriverOp::Build: return "Build";
    case DriverOp::Remove: return "Remove";
    case DriverOp::SetKey: return "SetKey";
    case DriverOp::Next: return "Next";
    case DriverOp::Get: return "Get";
    case DriverOp::Add: return "Add";
    case DriverOp::Put: return "Put";
    case DriverOp::GetProperty: return "GetProperty";
    case DriverOp::SetProperty: return "SetProperty";
    case DriverOp::Destroy: return "Destroy";
  }
  return "?";
}

void ScriptedDriver::Script(DriverOp op, std::vector<DriverAnswer> answers) {
  auto& q = queues_[op];
  for (auto& a : answers) q.push_back(std::move(a));
}

void ScriptedDriver::Script(DriverOp op, std::initializer_list<int> codes) {
  auto& q = queues_[op];
  for (int c : codes) q.push_back(DriverAnswer{c, {}, {}});
}

void ScriptedDriver::SetDefault(DriverOp op, DriverAnswer answer) { defaults_[op] = std::move(answer); }
void ScriptedDriver::SetHook(DriverOp op, Hook hook) { hooks_[op] = std::move(hook); }
void ScriptedDriver::SetPropertyValue(int prop, std::string value) { properties_[prop] = std::move(value); }

std::vector<std::string> ScriptedDriver::CallLog() const {
  std::vector<std::string> log;
  for (const DriverCall& c : calls_) {
    std::string line = std::string(DriverOpName(c.op)) + " " + c.table;
    if (!c.key.empty()) line += " " + c.key;
    log.push_back(line);
  }
  return log;
}

size_t ScriptedDriver::Count(DriverOp op) const {
  size_t n = 0;
  for (const DriverCall& c : calls_) n += c.op == op;
  return n;
}

int ScriptedDriver::Answer(DriverOp op, rt::FileBlock& file, const rt::KeyDescriptor* key, int mode,
                           std::string value) {
  calls_.push_back(DriverCall{op, file.decl().TableName(), key ? key->label : std::string(), std::move(value), mode});
  DriverAnswer answer;
  auto& q = queues_[op];
  if (!q.empty()) {
    answer = q.front();
    q.pop_front();
  } else if (auto d = defaults_.find(op); d != defaults_.end()) {
    answer = d->second;
  }
  if (auto h = hooks_.find(op); h != hooks_.end() && h->second) {
    int code = h->second(file, key);
    if (code >= 0) answer = DriverAnswer{code, {}, {}};
  }
  if (answer.code != 0 && (!answer.fileCode.empty() || !answer.fileText.empty())) {
    rt::SetFileError(answer.fileCode, answer.fileText);
  }
  return answer.code;
}

int ScriptedDriver::Open(rt::FileBlock& f, int mode) { return Answer(DriverOp::Open, f, nullptr, mode); }
int ScriptedDriver::Close(rt::FileBlock& f) { return Answer(DriverOp::Close, f, nullptr); }
int ScriptedDriver::Create(rt::FileBlock& f) { return Answer(DriverOp::Create, f, nullptr); }
int ScriptedDriver::Build(rt::FileBlock& f) { return Answer(DriverOp::Build, f, nullptr); }
int ScriptedDriver::Remove(rt::FileBlock& f) { return Answer(DriverOp::Remove, f, nullptr); }
int ScriptedDriver::SetKey(rt::FileBlock& f, const rt::KeyDescriptor& k) { return Answer(DriverOp::SetKey, f, &k); }
int ScriptedDriver::Next(rt::FileBlock& f) { return Answer(DriverOp::Next, f, nullptr); }
int ScriptedDriver::Get(rt::FileBlock& f, const rt::KeyDescriptor& k) { return Answer(DriverOp::Get, f, &k); }
int ScriptedDriver::Add(rt::FileBlock& f) { return Answer(DriverOp::Add, f, nullptr); }
int ScriptedDriver::Put(rt::FileBlock& f) { return Answer(DriverOp::Put, f, nullptr); }

bool ScriptedDriver::GetProperty(rt::FileBlock& f, int prop, std::string& value) {
  Answer(DriverOp::GetProperty, f, nullptr, prop);
  auto it = properties_.find(prop);
  if (it == properties_.end()) return false;
  value = it->second;
  return true;
}

int ScriptedDriver::SetProperty(rt::FileBlock& f, int prop, const std::string& value) {
  return Answer(DriverOp::SetProperty, f, nullptr, prop, value);
}

void ScriptedDriver::Destroy(rt::FileBlock& f) { Answer(DriverOp::Destroy, f, nullptr); }

std::shared_ptr<ScriptedDriver> InstallScriptedDriver(const std::string& name) {
  auto driver = std::make_shared<ScriptedDriver>(name);
  rt::RegisterDriver(driver);
  return driver;
}

}  // namespace testsupport
