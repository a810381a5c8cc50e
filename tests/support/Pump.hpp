// Running the calling thread's message loop from a test or a benchmark. Every
// helper waits inside the loop (TThreadLoop::HandleMessage), so it wakes for the
// message it waits for instead of sleeping past it.
#pragma once

#include <chrono>
#include <functional>

namespace vorlane::testing {

// Handles messages until `done()` holds, testing it before every wait; false when
// `limit` passes first. A generous limit only bounds a failing test: a passing one
// returns as soon as the condition holds.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(2));

// Handles whatever comes during `duration` (at least one pass). For a test that
// expects nothing to arrive: a message that does arrive in that time is handled, so
// the test sees it.
void PumpFor(std::chrono::milliseconds duration);

// Handles what is queued and due now, pass after pass, without waiting, until a
// pass finds nothing to do (deferred releases posted by a pass are carried out by
// the next). Gives up after `maxPasses` and returns false when the loop never
// went quiet (a timer due in every pass, a handler that keeps posting).
bool DrainMessages(int maxPasses = 1000);

}  // namespace vorlane::testing
