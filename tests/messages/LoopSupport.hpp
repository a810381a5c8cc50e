// What the loop's tests share: a fresh thread (with a loop of its own) per test,
// and the time after which a missing wake-up fails a test instead of hanging it.
#pragma once

#include <chrono>
#include <thread>

#include "Pump.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages::LoopTesting {

using namespace std::chrono_literals;
using TTick = Closure::TClosure<void()>;
using vorlane::testing::PumpUntil;

template <class F>
void OnNewThread(F f) {
  std::thread(f).join();
}

constexpr std::chrono::milliseconds kLimit = 10s;

}  // namespace vorlane::Messages::LoopTesting
