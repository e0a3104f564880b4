// The fuzzy matcher: its weight table, match options and the process's current matcher.
#include "classlib/fuzzy_scorer.h"

#include <atomic>

namespace classlib {
namespace {
std::atomic<FuzzyScorer*> g_current{nullptr};
}

FuzzyScorer::FuzzyScorer() {
  // Letters and digits weigh most, punctuation little, blanks and controls nothing.
  for (int c = 0; c < 256; ++c) {
    uint8_t w = 0;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80) {
      w = 10;
    } else if (c > ' ' && c < 0x7F) {
      w = 2;
    }
    weights_[c] = w;
  }
}

FuzzyScorer::~FuzzyScorer() {
  FuzzyScorer* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

void FuzzyScorer::Setup() {
  caseInsensitive_ = false;
  wholeWord_ = false;
  g_current.store(this);
}

void FuzzyScorer::SetMatchOption(int option, bool on) {
  if (option == OptionCaseInsensitive) caseInsensitive_ = on;
  else if (option == OptionWholeWord) wholeWord_ = on;
}

FuzzyScorer* FuzzyScorer::Current() { return g_current.load(); }

}  // namespace classlib
