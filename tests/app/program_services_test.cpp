// The program's process-wide services belong to one run: the start makes them
// anew, whatever was there before, and the end destroys them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/program.h"
#include "support/fake_ui.h"
#include "support/program_state.h"
#include "support/recording_settings.h"

namespace {

struct SeenInFrame {
  bool queueEmpty = false;
  int32_t recordRef = -1;
  int32_t dragWasOn = -1;
};

// Runs the whole process life with the frame closing as soon as it opens; while
// it is open, puts an entry in queue 1 and notes what the services held.
SeenInFrame RunOnce(testsupport::RecordingSystemSettings& settings, int& exitCode) {
  testsupport::FakeWindowLayer ui;
  SeenInFrame seen;
  testsupport::ProgramState state({.resetModules = true, .exitCode = &exitCode, .systemSettings = &settings});
  ui.onBuild = [&](testsupport::FakeWindowRecord& w) {
    if (w.label != "P1$APPFRAME") return;
    w.afterEvent = [&](testsupport::FakeWindow& win, const rt::ui::Event& ev) {
      if (ev.event != rt::ui::EVENT_OpenWindow) return;
      app::ProgramQueues& queues = app::Queues();
      seen.queueEmpty = queues.q1.empty();
      seen.recordRef = queues.rec1.ref;
      seen.dragWasOn = app::DragFullWindowsWasOn();
      queues.rec1.ref = 7;
      queues.q1.push_back(queues.rec1);
      win.RequestClose();
    };
  };
  state.Run(app::ProgramEntry);
  return seen;
}

class ProgramServicesLife : public ::testing::Test {
 protected:
  testsupport::ProgramState folder_{{.folder = "ortavia-services-", .halt = testsupport::Halt::kAsIs}};
};

TEST_F(ProgramServicesLife, EachStartMakesThemAnewAndTheEndDestroysThem) {
  // What a window shown outside a running program left in the services.
  app::Queues().rec1.ref = 5;
  app::Queues().q1.push_back(app::Queues().rec1);

  testsupport::RecordingSystemSettings draggingOn;
  int exitCode = -1;
  SeenInFrame first = RunOnce(draggingOn, exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(first.queueEmpty);
  EXPECT_EQ(first.recordRef, 0);
  EXPECT_EQ(first.dragWasOn, 1);

  // After the end nothing of the run is left.
  EXPECT_EQ(app::DragFullWindowsWasOn(), 0);
  EXPECT_TRUE(app::Queues().q1.empty());
  EXPECT_EQ(app::Queues().rec1.ref, 0);

  // A second run in the same process reads the dragging setting afresh: when
  // the read fails, nothing of the first run's "it was on" is restored.
  testsupport::RecordingSystemSettings unreadable;
  unreadable.readFails = true;
  exitCode = -1;
  SeenInFrame second = RunOnce(unreadable, exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(second.queueEmpty);
  EXPECT_EQ(second.recordRef, 0);
  EXPECT_EQ(second.dragWasOn, 0);
  EXPECT_TRUE(unreadable.changes.empty());
}

}  // namespace
