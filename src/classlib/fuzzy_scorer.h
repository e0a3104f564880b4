// The fuzzy matcher: a weight table and two match options. The process's
// matcher is the one set up last.
#pragma once

#include <array>
#include <cstdint>

namespace classlib {

class FuzzyScorer {
 public:
  static constexpr int OptionCaseInsensitive = 1;
  static constexpr int OptionWholeWord = 2;

  FuzzyScorer();  // fills the weight table
  // Does nothing but stop being the process's matcher, when it is.
  ~FuzzyScorer();
  FuzzyScorer(const FuzzyScorer&) = delete;
  FuzzyScorer& operator=(const FuzzyScorer&) = delete;
  // Clears both options and makes this object the process's fuzzy matcher.
  void Setup();
  void SetMatchOption(int option, bool on);
  void Teardown() {}

  bool caseInsensitive() const { return caseInsensitive_; }
  bool wholeWord() const { return wholeWord_; }
  uint8_t Weight(unsigned char c) const { return weights_[c]; }
  // The process's fuzzy matcher, null before any Setup.
  static FuzzyScorer* Current();

 private:
  // Kept filled for a matcher: no window of this program runs a fuzzy match.
  std::array<uint8_t, 256> weights_{};
  bool caseInsensitive_ = false;
  bool wholeWord_ = false;
};

}  // namespace classlib
