// The program's start-up and shut-down as observed at run time: routine order,
// the dragging switch around the main frame, and the dictionary's life.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/test_hooks.h"
#include "dictionary/dictionary.h"
#include "runtime/base/program.h"
#include "runtime/test_hooks.h"
#include "runtime/ui/syssettings.h"
#include "support/fake_ui.h"
#include "support/program_state.h"
#include "support/recording_settings.h"

namespace {

struct RunResult {
  std::vector<std::string> trace;
  int exitCode = -1;
};

// Runs the whole process life (start, main body, end) on this thread, with the
// frame closing as soon as it opens.
RunResult RunProgramOnce(testsupport::RecordingSystemSettings& settings, testsupport::FakeWindowLayer& ui) {
  RunResult result;
  testsupport::ProgramState state({.resetModules = true,
                                   .exitCode = &result.exitCode,
                                   .systemSettings = &settings,
                                   .lifeTrace = &result.trace});
  ui.onBuild = [&](testsupport::FakeWindowRecord& w) {
    if (w.label == "P1$APPFRAME") {
      w.afterEvent = [&](testsupport::FakeWindow& win, const rt::ui::Event& ev) {
        if (ev.event == rt::ui::EVENT_OpenWindow) {
          // While the frame is open, dragging shows the program's choice.
          result.trace.push_back("frame open, drag=" + std::to_string(settings.dragFullWindows));
          win.RequestClose();
        }
      };
    }
  };
  state.Run(app::ProgramEntry);
  return result;
}

class ProgramLife : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.emplace(testsupport::ProgramState::Options{.folder = "ortavia-life-", .halt = testsupport::Halt::kAsIs});
    dir_ = folder_->folder();
  }
  void TearDown() override { folder_.reset(); }
  std::optional<testsupport::ProgramState> folder_;
  std::filesystem::path dir_;
};

TEST_F(ProgramLife, RoutinesRunInModuleOrderAndDraggingIsRestored) {
  testsupport::FakeWindowLayer ui;
  testsupport::RecordingSystemSettings settings;  // starts with dragging on
  RunResult run = RunProgramOnce(settings, ui);

  EXPECT_EQ(run.exitCode, 0);
  const std::vector<std::string> expected = {
      "ProgramThreadFilesSetup", "ProgramModuleInit", "ProgramThreadInit", "FrameModuleInit",
      "ConnectModuleInit",       "CreationModuleInit", "ProgramMain",      "frame open, drag=0",
      "ProgramMain end",         "CreationModuleThreadKill", "ProgramThreadKill", "ProgramModuleKill",
  };
  EXPECT_EQ(run.trace, expected);
  using Change = testsupport::RecordingSystemSettings::Change;
  EXPECT_EQ(settings.changes, (std::vector<Change>{{0, 3}, {1, 3}}));
  EXPECT_EQ(settings.dragFullWindows, 1);
  // The frame's position went to the INI file on close.
  EXPECT_TRUE(std::filesystem::exists(dir_ / "Ortavia.INI"));
  // The control kinds of the three windows were registered before any was built.
  EXPECT_EQ(ui.kinds, (std::vector<std::string>{"button", "panel", "entry", "button", "prompt", "panel",
                                                "string", "image", "group", "progress"}));
}

TEST_F(ProgramLife, DraggingOffAtStartIsNeverTouched) {
  testsupport::FakeWindowLayer ui;
  testsupport::RecordingSystemSettings settings;
  settings.dragFullWindows = 0;
  RunResult run = RunProgramOnce(settings, ui);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(settings.changes.empty());
}

TEST_F(ProgramLife, UnreadableDraggingSettingIsLeftAlone) {
  testsupport::FakeWindowLayer ui;
  testsupport::RecordingSystemSettings settings;
  settings.readFails = true;
  RunResult run = RunProgramOnce(settings, ui);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(settings.changes.empty());
}

TEST_F(ProgramLife, DictionaryLivesFromMainBodyToThreadEnd) {
  testsupport::FakeWindowLayer ui;
  testsupport::RecordingSystemSettings settings;
  bool setDuringFrame = false;
  RunResult run;
  std::optional<testsupport::ProgramState> state;
  state.emplace(testsupport::ProgramState::Options{
      .resetModules = true, .systemSettings = &settings, .lifeTrace = &run.trace});
  ui.onBuild = [&](testsupport::FakeWindowRecord& w) {
    w.afterEvent = [&](testsupport::FakeWindow& win, const rt::ui::Event& ev) {
      if (ev.event != rt::ui::EVENT_OpenWindow) return;
      setDuringFrame = dict::TableRelationsRef("HDSCRAP") != nullptr && dict::TableManagerRef("ApTiposTasas") != nullptr;
      win.RequestClose();
    };
  };
  state->Run(app::ProgramEntry);
  state.reset();
  EXPECT_TRUE(setDuringFrame);
  EXPECT_EQ(dict::TableRelationsRef("HDSCRAP"), nullptr);
  EXPECT_EQ(dict::TableManagerRef("ApTiposTasas"), nullptr);
}

}  // namespace
