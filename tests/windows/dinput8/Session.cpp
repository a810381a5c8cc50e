#include "Session.hpp"

#include <algorithm>

namespace vorlane::dinput {

Session::Session(DeviceScript script) : script_(std::move(script)) {
  for (const ScriptedDevice& scripted : script_.devices) {
    DeviceState state;
    for (std::size_t i = 0; i < scripted.axes.size(); ++i) state.axes[i] = scripted.axes[i].initial;
    state.attached = scripted.attached;
    states_.push_back(state);
  }
}

Session::~Session() {
  if (timer_) {
    SetThreadpoolTimer(timer_, nullptr, 0, 0);
    WaitForThreadpoolTimerCallbacks(timer_, TRUE);
    CloseThreadpoolTimer(timer_);
  }
}

void Session::start() {
  std::lock_guard lock(mutex_);
  if (started_) return;
  started_ = true;
  start_ = std::chrono::steady_clock::now();
  if (!script_.steps.empty()) {
    timer_ = CreateThreadpoolTimer(&Session::onTimer, this, nullptr);
    // Without the timer, states still follow the clock on every read; only the
    // notification events would come late.
    if (timer_) armLocked();
  }
  advanceLocked();
}

DeviceState Session::state(int device) {
  std::lock_guard lock(mutex_);
  advanceLocked();
  return states_.at(std::size_t(device));
}

void Session::notify(const void* owner, int device, HANDLE event) {
  std::lock_guard lock(mutex_);
  std::erase_if(notifications_, [owner](const Notification& n) { return n.owner == owner; });
  if (event) notifications_.push_back({owner, device, event});
}

void Session::advanceLocked() {
  if (!started_) return;
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start_)
                     .count();
  std::uint32_t changed = 0;  // one bit per device
  while (next_ < script_.steps.size() && script_.steps[next_].atMs <= elapsed) {
    const Step& step = script_.steps[next_++];
    DeviceState& state = states_[std::size_t(step.device)];
    DeviceState before = state;
    switch (step.action) {
      case Step::Action::SetAxis:
        state.axes[std::size_t(step.index)] = step.value;
        break;
      case Step::Action::Press:
        state.buttons[std::size_t(step.index)] = true;
        break;
      case Step::Action::Release:
        state.buttons[std::size_t(step.index)] = false;
        break;
      case Step::Action::Hat:
        state.hat = step.value;
        break;
      case Step::Action::Unplug:
        if (state.attached) ++state.unplugs;
        state.attached = false;
        break;
      case Step::Action::Plug:
        state.attached = true;
        break;
    }
    if (state.axes != before.axes || state.hat != before.hat || state.buttons != before.buttons ||
        state.attached != before.attached)
      changed |= 1u << step.device;
  }
  if (!changed) return;
  for (const Notification& n : notifications_)
    if (changed & (1u << n.device)) SetEvent(n.event);
}

void Session::armLocked() {
  if (next_ >= script_.steps.size()) return;
  auto due = start_ + std::chrono::milliseconds(script_.steps[next_].atMs);
  auto wait =
      std::chrono::duration_cast<std::chrono::microseconds>(due - std::chrono::steady_clock::now());
  // Relative due times are negative, in units of 100 ns.
  ULARGE_INTEGER relative;
  relative.QuadPart = ULONGLONG(-std::max<LONGLONG>(wait.count(), 0) * 10);
  FILETIME when{relative.LowPart, relative.HighPart};
  SetThreadpoolTimer(timer_, &when, 0, 0);
}

void CALLBACK Session::onTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) {
  auto* self = static_cast<Session*>(context);
  std::lock_guard lock(self->mutex_);
  self->advanceLocked();
  self->armLocked();
}

}  // namespace vorlane::dinput
