// The full-window-drag setting: our platform layer and the recording stand-in.
#include <gtest/gtest.h>

#include "runtime/test_hooks.h"
#include "runtime/ui/syssettings.h"
#include "support/recording_settings.h"

namespace {
using testsupport::RecordingSystemSettings;

class DragSettingTest : public ::testing::Test {
 protected:
  void TearDown() override { rt::sys::SetSystemSettings(nullptr); }
};

#ifndef _WIN32
TEST_F(DragSettingTest, WithoutADesktopSettingDraggingIsReportedOff) {
  int value = 7;
  ASSERT_TRUE(rt::sys::GetDragFullWindows(value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(rt::sys::SetDragFullWindows(1, rt::sys::SPIF_UPDATEINIFILE | rt::sys::SPIF_SENDCHANGE));
  rt::sys::GetDragFullWindows(value);
  EXPECT_EQ(value, 0);  // holds nothing: still off
}
#endif

TEST_F(DragSettingTest, StandInStartsOnAndRecordsEachChange) {
  RecordingSystemSettings rec;
  rt::sys::SetSystemSettings(&rec);
  int value = 0;
  ASSERT_TRUE(rt::sys::GetDragFullWindows(value));
  EXPECT_EQ(value, 1);
  rt::sys::SetDragFullWindows(0, 3);
  rt::sys::GetDragFullWindows(value);
  EXPECT_EQ(value, 0);
  rt::sys::SetDragFullWindows(1, 3);
  const std::vector<RecordingSystemSettings::Change> want{{0, 3}, {1, 3}};
  EXPECT_EQ(rec.changes, want);

  rec.readFails = true;
  value = 5;
  EXPECT_FALSE(rt::sys::GetDragFullWindows(value));
  EXPECT_EQ(value, 5);  // a failed read leaves the caller's value alone
}

}  // namespace
