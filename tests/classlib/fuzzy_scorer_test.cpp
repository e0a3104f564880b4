// The process's fuzzy matcher never names a matcher that is gone.
#include <gtest/gtest.h>

#include <optional>

#include "classlib/fuzzy_scorer.h"

namespace {

TEST(FuzzyScorerLife, ADestroyedMatcherStopsBeingTheCurrentOne) {
  std::optional<classlib::FuzzyScorer> first, second;
  first.emplace();
  first->Setup();
  second.emplace();
  // One that never became current goes without touching the current one.
  second.reset();
  EXPECT_EQ(classlib::FuzzyScorer::Current(), &*first);
  first.reset();
  EXPECT_EQ(classlib::FuzzyScorer::Current(), nullptr);
}

}  // namespace
