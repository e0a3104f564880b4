// The window controller's event loop over a procedure's window, and the fuzzy
// matcher's set-up.
#include <gtest/gtest.h>

#include "classlib/fuzzy_scorer.h"
#include "classlib/window_controller.h"
#include "support/fake_ui.h"

namespace testsupport {
namespace {

using classlib::ResultOk;
using classlib::ResultSoftFail;
using rt::ui::Event;
using testsupport::FakeWindow;

// A controller that opens its window in Setup, as the program's do, and
// records the steps it was handed.
class TestController : public classlib::WindowController {
 public:
  explicit TestController(FakeWindow& w) : window(w) {}
  int Setup() override {
    int r = WindowController::Setup();
    if (setupResult != ResultOk) return setupResult;
    OpenOn(window);
    return r;
  }
  int HandleAccepted() override {
    accepted.push_back(rt::ui::AcceptedControl());
    return WindowController::HandleAccepted();
  }
  int HandleCloseEvent() override {
    closes.push_back(rt::ui::CurrentEvent());
    return WindowController::HandleCloseEvent();
  }
  FakeWindow& window;
  int setupResult = ResultOk;
  std::vector<int> accepted;
  std::vector<int> closes;
};

TEST(WindowControllerTest, RunWindowDispatchesEachEventUntilTheWindowCloses) {
  FakeWindow w;
  w.record().script = {{rt::ui::EVENT_Accepted, 3}, {rt::ui::EVENT_Accepted, 5}, {rt::ui::EVENT_CloseWindow, 0},
                       {rt::ui::EVENT_Accepted, 9}};
  TestController c(w);
  c.firstField = 4;
  classlib::ToolbarRouter router;
  c.AttachToolbar(router);
  EXPECT_TRUE(router.active());
  EXPECT_EQ(c.RunWindow(), 2);  // no response given
  EXPECT_EQ(c.opened, 1);
  EXPECT_EQ(w.record().selected, std::vector<int>{4});  // EVENT:OpenWindow selects FIRSTFIELD
  EXPECT_EQ(c.accepted, (std::vector<int>{3, 5}));
  EXPECT_EQ(c.closes, std::vector<int>{rt::ui::EVENT_CloseWindow});
  EXPECT_TRUE(w.record().closed);
  EXPECT_TRUE(c.dead());
  EXPECT_FALSE(router.active());  // torn down with the controller
  EXPECT_EQ(c.Teardown(), ResultSoftFail);
}

TEST(WindowControllerTest, ResponseIsReturnedAndCloseDownAlsoCloses) {
  FakeWindow w;
  w.record().script = {{rt::ui::EVENT_CloseDown, 0}};
  TestController c(w);
  c.response = 1;
  EXPECT_EQ(c.RunWindow(), 1);
  EXPECT_EQ(c.closes, std::vector<int>{rt::ui::EVENT_CloseDown});
  EXPECT_TRUE(w.record().selected.empty());  // no FIRSTFIELD
}

TEST(WindowControllerTest, FailedSetupSkipsTheEventLoop) {
  FakeWindow w;
  TestController c(w);
  c.setupResult = classlib::ResultHardFail;
  EXPECT_EQ(c.RunWindow(), 2);
  EXPECT_FALSE(w.record().opened);
  EXPECT_TRUE(w.record().handled.empty());
  EXPECT_TRUE(c.dead());
}

TEST(FuzzyScorerTest, SetupClearsOptionsAndBecomesTheCurrentMatcher) {
  classlib::FuzzyScorer fuzzy;
  fuzzy.SetMatchOption(classlib::FuzzyScorer::OptionCaseInsensitive, true);
  fuzzy.SetMatchOption(classlib::FuzzyScorer::OptionWholeWord, true);
  fuzzy.Setup();
  EXPECT_FALSE(fuzzy.caseInsensitive());
  EXPECT_FALSE(fuzzy.wholeWord());
  EXPECT_EQ(classlib::FuzzyScorer::Current(), &fuzzy);
  fuzzy.SetMatchOption(classlib::FuzzyScorer::OptionWholeWord, true);
  EXPECT_TRUE(fuzzy.wholeWord());
  EXPECT_FALSE(fuzzy.caseInsensitive());
  EXPECT_GT(fuzzy.Weight('a'), fuzzy.Weight(' '));
}

}  // namespace
}  // namespace testsupport
