// Module records and their walks at start and end, thread numbers and the end
// of the program.
#include "runtime/base/program.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>
#include <thread>

#include "runtime/test_hooks.h"

namespace rt {

namespace {

constexpr int kHighestPriority = 255;
constexpr int kLowestPriority = 1;

struct RuntimeState {
  std::mutex mutex;
  std::vector<ModuleRecord> modules;
  int nextThreadNumber = 2;
  bool endWalkDone = false;
  std::function<void(int)> haltHandler;
  Routine exitHook = nullptr;
  Routine layerCleanup = nullptr;
  ErrorDisplay errorDisplay = nullptr;
};

RuntimeState& State() {
  static RuntimeState state;
  return state;
}

std::atomic<bool> shutDown{false};
thread_local int threadNumber = 0;

// The records in the order of the walk at start: priority 255 down to 1,
// table order within a priority.
std::vector<ModuleRecord> StartOrder() {
  std::vector<ModuleRecord> order;
  {
    std::lock_guard lock(State().mutex);
    order = State().modules;
  }
  std::erase_if(order, [](const ModuleRecord& m) {
    return m.priority < kLowestPriority || m.priority > kHighestPriority;
  });
  std::stable_sort(order.begin(), order.end(),
                   [](const ModuleRecord& a, const ModuleRecord& b) { return a.priority > b.priority; });
  return order;
}

// The walk at the end: lowest priority first, reverse table order within one.
std::vector<ModuleRecord> EndOrder() {
  std::vector<ModuleRecord> order = StartOrder();
  std::reverse(order.begin(), order.end());
  return order;
}

void Call(Routine r) {
  if (r) r();
}

void ThreadWalkAtStart(bool processStart) {
  for (const ModuleRecord& m : StartOrder()) {
    Call(m.threadFilesSetup);
    if (processStart) Call(m.start);
    Call(m.threadStart);
  }
}

void ThreadWalkAtEnd(bool processEnd) {
  for (const ModuleRecord& m : EndOrder()) {
    Call(m.threadEnd);
    if (processEnd) Call(m.end);
  }
}

}  // namespace

int RuntimeStart(const std::vector<ModuleRecord>& modules) {
  {
    std::lock_guard lock(State().mutex);
    auto& s = State();
    s.modules.insert(s.modules.end(), modules.begin(), modules.end());
    s.endWalkDone = false;
  }
  threadNumber = 1;
  ThreadWalkAtStart(true);
  return 1;
}

void RunMainProcedure(Routine mainBody) {
  Call(mainBody);
  Routine hook = nullptr;
  {
    std::lock_guard lock(State().mutex);
    hook = State().exitHook;
  }
  Call(hook);
}

void SetExitHook(Routine hook) {
  std::lock_guard lock(State().mutex);
  State().exitHook = hook;
}

namespace {
// Runs the window layer's clean-up once.
void CleanUpWindowLayer() {
  Routine cleanup = nullptr;
  {
    std::lock_guard lock(State().mutex);
    std::swap(cleanup, State().layerCleanup);
  }
  Call(cleanup);
}
}  // namespace

void SetWindowLayerCleanup(Routine cleanup) {
  std::lock_guard lock(State().mutex);
  State().layerCleanup = cleanup;
}

void RuntimeShutdown() {
  CleanUpWindowLayer();
  shutDown = true;
}

bool RuntimeIsShutDown() { return shutDown; }

void RunModuleWalkAtEnd() {
  {
    std::lock_guard lock(State().mutex);
    if (State().endWalkDone) return;
    State().endWalkDone = true;
  }
  ThreadWalkAtEnd(true);
  threadNumber = 0;
}

void HaltProgram(int exitCode) {
  std::function<void(int)> handler;
  {
    std::lock_guard lock(State().mutex);
    handler = State().haltHandler;
  }
  if (threadNumber > 1) {
    // Only the first thread ends the process; this one waits for that.
    if (handler) {
      handler(exitCode);
      throw ProgramHalted{exitCode};
    }
    std::mutex m;
    std::unique_lock lock(m);
    std::condition_variable().wait(lock, [] { return false; });
  }
  RunModuleWalkAtEnd();
  if (!handler) CleanUpWindowLayer();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  if (handler) {
    handler(exitCode);
    throw ProgramHalted{exitCode};
  }
  std::exit(exitCode);
}

void SetRuntimeErrorDisplay(ErrorDisplay display) {
  std::lock_guard lock(State().mutex);
  State().errorDisplay = display;
}

void RuntimeErrorHalt(int number, const std::string& text) {
  ErrorDisplay display = nullptr;
  {
    std::lock_guard lock(State().mutex);
    display = State().errorDisplay;
  }
  const std::string caption = "Runtime Error " + std::to_string(number);
  if (display) {
    display(text, caption);
  } else {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  HaltProgram(1);
}

void ResetModules() {
  std::lock_guard lock(State().mutex);
  auto& s = State();
  s.modules.clear();
  s.nextThreadNumber = 2;
  s.endWalkDone = false;
  s.exitHook = nullptr;
  s.layerCleanup = nullptr;
  shutDown = false;
  threadNumber = 0;
}

void SetHaltHandler(std::function<void(int)> handler) {
  std::lock_guard lock(State().mutex);
  State().haltHandler = std::move(handler);
}

int CurrentThreadNumber() { return threadNumber; }

void TouchThreadData() {
  if (threadNumber != 0) return;
  {
    std::lock_guard lock(State().mutex);
    threadNumber = State().nextThreadNumber++;
  }
  ThreadWalkAtStart(false);
}

void EndThread() {
  // The first thread's state ends with the process (HaltProgram).
  if (threadNumber <= 1) return;
  ThreadWalkAtEnd(false);
  threadNumber = 0;
}

void RunThread(const std::function<void()>& body) {
  std::thread t([&body] {
    TouchThreadData();
    if (body) body();
    EndThread();
  });
  t.join();
}

void SeedRandomOnce() {
  static std::once_flag once;
  std::call_once(once, [] { std::srand(static_cast<unsigned>(std::time(nullptr))); });
}

bool OnceGuardEnter(int& guard) {
  if (guard > 0) return true;
  if (guard < 0) {
    std::fputs("Runtime error 411: a set-up was entered again while it was running\n", stderr);
    std::fflush(stderr);
    std::abort();
  }
  guard = -1;
  return false;
}

void OnceGuardDone(int& guard) { guard = 1; }

}  // namespace rt
