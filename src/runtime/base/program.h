// Process and thread life: module records and their walks, thread numbers,
// the once guard, and the end of the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rt {

using Routine = void (*)();

struct ModuleRecord {
  int priority = 0;
  Routine start = nullptr;
  Routine end = nullptr;
  Routine threadStart = nullptr;
  Routine threadEnd = nullptr;
  Routine reserved = nullptr;
  Routine threadFilesSetup = nullptr;
};

// Registers the records (appended, in table order) and runs the walk at start
// on the calling thread, which becomes thread 1. Returns 1 when the program may start.
int RuntimeStart(const std::vector<ModuleRecord>& modules);
// Calls the main body, then the exit hook when one is set.
void RunMainProcedure(Routine mainBody);
void SetExitHook(Routine hook);
// The window layer's clean-up at process end: runs the clean-up set by the
// process entry (once); from then on only close events are delivered.
void RuntimeShutdown();
// The window layer's clean-up, set by the process entry. It must run before the
// process ends, while the toolkit's own process-wide objects still exist: the
// exit handlers that std::exit runs destroy those in an order of their own.
void SetWindowLayerCleanup(Routine cleanup);
// Runs the walk at the end on thread 1, then the window layer's clean-up (when
// RuntimeShutdown has not run it), and ends the process with the code.
// With a halt handler set (runtime/test_hooks.h), the handler is called instead of exiting.
[[noreturn]] void HaltProgram(int exitCode);
// A fatal runtime error: the text under the caption "Runtime Error N", shown by
// the display the window layer set or else written to stderr; then the program
// ends with exit code 1, a fault of the program never being a success.
[[noreturn]] void RuntimeErrorHalt(int number, const std::string& text);
// How a runtime error is shown; set by the window layer while one is installed,
// null otherwise.
using ErrorDisplay = void (*)(const std::string& text, const std::string& caption);
void SetRuntimeErrorDisplay(ErrorDisplay display);
// Runs the walk at the end without ending the process (for tests and HaltProgram).
void RunModuleWalkAtEnd();
// True once RuntimeShutdown has run: only close events are delivered from then on.
bool RuntimeIsShutDown();

// 1 for the first thread, a later number for each thread that touched thread data, 0 for none.
int CurrentThreadNumber();
// Gives the calling thread its runtime state: runs the per-thread file set-ups and
// thread-start routines when the thread first touches thread data.
void TouchThreadData();
// Ends the calling (non-first) thread's runtime state: its thread-end routines.
void EndThread();

// A thread of the runtime: runs the body with thread data, then the thread-end routines.
void RunThread(const std::function<void()>& body);

void SeedRandomOnce();

// Once guard: returns true when the set-up is done; on 0 marks it running and
// returns false; entered again while running it stops the program (runtime error 411).
bool OnceGuardEnter(int& guard);
void OnceGuardDone(int& guard);

}  // namespace rt
