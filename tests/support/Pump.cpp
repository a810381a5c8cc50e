#include "Pump.hpp"

#include "vorlane/visual/Messages.hpp"

namespace vorlane::testing {

namespace {

using TClock = std::chrono::steady_clock;

// Milliseconds from now until `end`, never negative.
int MillisecondsUntil(TClock::time_point end) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - TClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
  const auto end = TClock::now() + limit;
  while (!done()) {
    const int left = MillisecondsUntil(end);
    if (left == 0) return false;
    loop.HandleMessage(left);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds duration) {
  Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
  const auto end = TClock::now() + duration;
  do {
    loop.HandleMessage(MillisecondsUntil(end));
  } while (TClock::now() < end);
  loop.ProcessMessages();
}

bool DrainMessages(int maxPasses) {
  Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
  for (int pass = 0; pass < maxPasses; ++pass)
    if (!loop.ProcessMessages()) return true;
  return false;
}

}  // namespace vorlane::testing
