// The events of one TJoystick as they arrive: the most recent ones for the views,
// totals per event, the rate per second over the last second, and a listener that
// sees each event once (the line and JSON printers).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "vorlane/Joystick.hpp"
#include "vorlane/runtime/Closure.hpp"

namespace vorlane::JoyMon {

using TClock = std::chrono::steady_clock;

enum class TEventKind : std::uint8_t { Move, MoveZ, ButtonDown, ButtonUp };
inline constexpr int EventKindCount = 4;

// The event property's name: "OnMove", "OnMoveZ", "OnButtonDown", "OnButtonUp".
const char* EventName(TEventKind kind);

// One event as the handler received it. Changed is empty for moves; X and Y are 0
// for OnMoveZ, Z is 0 for the others.
struct TEventRecord {
  TEventKind Kind = TEventKind::Move;
  Joystick::TButtons Changed;
  Joystick::TButtons Pressed;
  System::Integer X = 0;
  System::Integer Y = 0;
  System::Integer Z = 0;
  TClock::time_point Time;
};

class TEventLog {
 public:
  using TListener = Closure::TClosure<void(const TEventRecord&)>;

  explicit TEventLog(std::size_t capacity = 200);

  // Assigns OnMove, OnMoveZ, OnButtonDown and OnButtonUp of `joystick` to this log;
  // Detach clears them again. The log must outlive the assignment.
  void Attach(Joystick::TJoystick& joystick);
  static void Detach(Joystick::TJoystick& joystick);

  void SetListener(TListener listener) { FListener = listener; }

  // Records one event (the handlers call this; tests may too).
  void Add(const TEventRecord& record);

  // The kept events, newest first: Recent(0) is the last one. At most `capacity`.
  std::size_t Size() const { return FCount; }
  const TEventRecord& Recent(std::size_t index) const;
  std::uint64_t Total() const { return FTotal; }
  std::uint64_t TotalOf(TEventKind kind) const { return FTotals[static_cast<int>(kind)]; }
  // Events in the second before `now`.
  double RatePerSecond(TClock::time_point now);
  void Clear();

 private:
  void Move(System::TObject* sender, Joystick::TButtons pressed, System::Integer x,
            System::Integer y);
  void MoveZ(System::TObject* sender, Joystick::TButtons pressed, System::Integer z);
  void ButtonDown(System::TObject* sender, Joystick::TButtons changed, Joystick::TButtons pressed,
                  System::Integer x, System::Integer y);
  void ButtonUp(System::TObject* sender, Joystick::TButtons changed, Joystick::TButtons pressed,
                System::Integer x, System::Integer y);
  void Prune(TClock::time_point now);

  std::vector<TEventRecord> FRing;
  std::size_t FNext = 0;   // where the next event goes
  std::size_t FCount = 0;  // how many of FRing are in use
  std::uint64_t FTotal = 0;
  std::array<std::uint64_t, EventKindCount> FTotals{};
  std::deque<TClock::time_point> FLastSecond;
  TListener FListener;
};

}  // namespace vorlane::JoyMon
