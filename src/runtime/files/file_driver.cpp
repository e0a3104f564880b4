// The driver registry and the run counter drivers read their kept state by.
#include "runtime/files/file_driver.h"

#include <atomic>
#include <map>
#include <mutex>

namespace rt {

namespace {

std::atomic<uint64_t>& RunCounter() {
  static std::atomic<uint64_t> run{0};
  return run;
}

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, std::shared_ptr<FileDriver>, std::less<>>& Registry() {
  static std::map<std::string, std::shared_ptr<FileDriver>, std::less<>> drivers;
  return drivers;
}

}  // namespace

bool FileDriver::GetProperty(FileBlock&, int, std::string&) { return false; }

void BeginFileRun() { ++RunCounter(); }
uint64_t FileRun() { return RunCounter().load(); }

void RegisterDriver(std::shared_ptr<FileDriver> driver) {
  if (!driver) return;
  std::lock_guard lock(RegistryMutex());
  Registry()[driver->Name()] = std::move(driver);
}

FileDriver* FindDriver(std::string_view name) {
  std::lock_guard lock(RegistryMutex());
  auto& drivers = Registry();
  auto it = drivers.find(name);
  return it == drivers.end() ? nullptr : it->second.get();
}

}  // namespace rt
