// The module walks at start and end, later threads, and the end of the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/base/program.h"
#include "runtime/test_hooks.h"
#include "support/fake_ui.h"
#include "support/program_state.h"

namespace rt {
namespace {

std::vector<std::string> calls;

template <int N>
struct Mod {
  static void Start() { calls.push_back("start" + std::to_string(N)); }
  static void End() { calls.push_back("end" + std::to_string(N)); }
  static void ThreadStart() { calls.push_back("tstart" + std::to_string(N) + "@" + std::to_string(CurrentThreadNumber())); }
  static void ThreadEnd() { calls.push_back("tend" + std::to_string(N) + "@" + std::to_string(CurrentThreadNumber())); }
  static void Files() { calls.push_back("files" + std::to_string(N) + "@" + std::to_string(CurrentThreadNumber())); }
  static ModuleRecord Full(int priority) {
    return {priority, Start, End, ThreadStart, ThreadEnd, nullptr, Files};
  }
};

class ModuleWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    state_.emplace(testsupport::ProgramState::Options{
        .resetModules = true, .onHalt = [](int code) { calls.push_back("halt " + std::to_string(code)); }});
  }
  void TearDown() override { state_.reset(); }
  std::optional<testsupport::ProgramState> state_;
};

TEST_F(ModuleWalk, StartByDescendingPriorityThenTableOrderEndInReverse) {
  // The program's four records at priority 5 (one full, three partial), a
  // runtime record above them, a class library record after them, and
  // records outside 1..255 that never run.
  const std::vector<ModuleRecord> table = {
      Mod<1>::Full(5),
      {5, Mod<2>::Start, nullptr, nullptr, nullptr, nullptr, nullptr},
      {5, Mod<3>::Start, nullptr, nullptr, nullptr, nullptr, nullptr},
      {5, Mod<4>::Start, nullptr, nullptr, Mod<4>::ThreadEnd, nullptr, nullptr},
      Mod<5>::Full(19),
      Mod<6>::Full(5),
      Mod<7>::Full(0),
      Mod<8>::Full(256),
  };
  EXPECT_EQ(RuntimeStart(table), 1);
  EXPECT_EQ(CurrentThreadNumber(), 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"files5@1", "start5", "tstart5@1", "files1@1", "start1",
                                              "tstart1@1", "start2", "start3", "start4", "files6@1",
                                              "start6", "tstart6@1"}));
  calls.clear();
  EXPECT_THROW(HaltProgram(0), ProgramHalted);
  EXPECT_EQ(calls, (std::vector<std::string>{"tend6@1", "end6", "tend4@1", "tend1@1", "end1", "tend5@1",
                                              "end5", "halt 0"}));
  // A second halt does not walk again.
  calls.clear();
  try {
    HaltProgram(3);
  } catch (const ProgramHalted& h) {
    EXPECT_EQ(h.exitCode, 3);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"halt 3"}));
}

TEST_F(ModuleWalk, LaterThreadRunsOnlyThePerThreadRoutinesOnce) {
  RuntimeStart({Mod<1>::Full(5), Mod<2>::Full(9)});
  calls.clear();
  int numberInside = -1;
  RunThread([&] {
    numberInside = CurrentThreadNumber();
    TouchThreadData();  // already touched: nothing runs again
    calls.push_back("body");
  });
  EXPECT_EQ(numberInside, 2);
  EXPECT_EQ(calls, (std::vector<std::string>{"files2@2", "tstart2@2", "files1@2", "tstart1@2", "body",
                                              "tend1@2", "tend2@2"}));
  calls.clear();
  RunThread([] {});
  EXPECT_EQ(calls.front(), "files2@3");
  EXPECT_EQ(CurrentThreadNumber(), 1);

  // A thread that never touched thread data has no number.
  std::thread([&] { numberInside = CurrentThreadNumber(); }).join();
  EXPECT_EQ(numberInside, 0);
}

TEST_F(ModuleWalk, MainProcedureThenExitHook) {
  static std::vector<std::string>* log = &calls;
  SetExitHook([] { log->push_back("exit hook"); });
  RunMainProcedure([] { log->push_back("main"); });
  EXPECT_EQ(calls, (std::vector<std::string>{"main", "exit hook"}));
  EXPECT_FALSE(RuntimeIsShutDown());
  RuntimeShutdown();
  EXPECT_TRUE(RuntimeIsShutDown());
}

TEST(OnceGuard, SetUpOnceAndReentryStops) {
  int guard = 0;
  EXPECT_FALSE(OnceGuardEnter(guard));
  EXPECT_EQ(guard, -1);
  OnceGuardDone(guard);
  EXPECT_TRUE(OnceGuardEnter(guard));
  EXPECT_TRUE(OnceGuardEnter(guard));

  int running = 0;
  EXPECT_FALSE(OnceGuardEnter(running));
  EXPECT_DEATH(OnceGuardEnter(running), "Runtime error 411");
}

void StartAndHalt(int code) {
  ResetModules();
  ModuleRecord rec;
  rec.priority = 5;
  rec.end = [] { std::fputs("module end\n", stderr); };
  RuntimeStart({rec});
  HaltProgram(code);
}

TEST(HaltProgramTest, EndsTheProcessWithTheCodeAfterTheEndWalk) {
  EXPECT_EXIT(StartAndHalt(7), ::testing::ExitedWithCode(7), "module end");
}

// A fatal runtime error is shown in a box while a window layer is installed,
// else written to stderr; either way the process then ends with exit code 1.
TEST(RuntimeErrorHaltTest, ShownInABoxWithWindowsElseOnStderrThenEndsWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::FakeWindowLayer layer;
        layer.answer = [](const testsupport::MessageBoxCall& box) {
          std::fprintf(stderr, "box [%s] %s\n", box.caption.c_str(), box.text.c_str());
          return ui::BUTTON_OK;
        };
        RuntimeErrorHalt(501, "Make UFO Error");
      },
      ::testing::ExitedWithCode(1), "box \\[Runtime Error 501\\] Make UFO Error");
  EXPECT_EXIT(RuntimeErrorHalt(411, "Once Error"), ::testing::ExitedWithCode(1), "^Runtime Error 411: Once Error");
}

}  // namespace
}  // namespace rt
