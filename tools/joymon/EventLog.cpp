#include "EventLog.hpp"

namespace vorlane::JoyMon {

using Joystick::TButtons;
using System::Integer;

const char* EventName(TEventKind kind) {
  switch (kind) {
    case TEventKind::Move:
      return "OnMove";
    case TEventKind::MoveZ:
      return "OnMoveZ";
    case TEventKind::ButtonDown:
      return "OnButtonDown";
    case TEventKind::ButtonUp:
      return "OnButtonUp";
  }
  return "?";
}

TEventLog::TEventLog(std::size_t capacity) : FRing(capacity == 0 ? 1 : capacity) {}

void TEventLog::Attach(Joystick::TJoystick& joystick) {
  joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TEventLog::Move>(this));
  joystick.SetOnMoveZ(Joystick::TMoveZEvent::Bind<&TEventLog::MoveZ>(this));
  joystick.SetOnButtonDown(Joystick::TButtonDownEvent::Bind<&TEventLog::ButtonDown>(this));
  joystick.SetOnButtonUp(Joystick::TButtonUpEvent::Bind<&TEventLog::ButtonUp>(this));
}

void TEventLog::Detach(Joystick::TJoystick& joystick) {
  joystick.SetOnMove(nullptr);
  joystick.SetOnMoveZ(nullptr);
  joystick.SetOnButtonDown(nullptr);
  joystick.SetOnButtonUp(nullptr);
}

void TEventLog::Add(const TEventRecord& record) {
  FRing[FNext] = record;
  FNext = (FNext + 1) % FRing.size();
  if (FCount < FRing.size()) ++FCount;
  ++FTotal;
  ++FTotals[static_cast<int>(record.Kind)];
  Prune(record.Time);
  FLastSecond.push_back(record.Time);
  if (FListener) FListener(record);
}

const TEventRecord& TEventLog::Recent(std::size_t index) const {
  return FRing[(FNext + FRing.size() - 1 - index % FRing.size()) % FRing.size()];
}

void TEventLog::Prune(TClock::time_point now) {
  while (!FLastSecond.empty() && now - FLastSecond.front() >= std::chrono::seconds(1))
    FLastSecond.pop_front();
}

double TEventLog::RatePerSecond(TClock::time_point now) {
  Prune(now);
  return static_cast<double>(FLastSecond.size());
}

void TEventLog::Clear() {
  FNext = FCount = 0;
  FTotal = 0;
  FTotals = {};
  FLastSecond.clear();
}

namespace {
TEventRecord Record(TEventKind kind, TButtons changed, TButtons pressed, Integer x, Integer y,
                    Integer z) {
  TEventRecord r;
  r.Kind = kind;
  r.Changed = changed;
  r.Pressed = pressed;
  r.X = x;
  r.Y = y;
  r.Z = z;
  r.Time = TClock::now();
  return r;
}
}  // namespace

void TEventLog::Move(System::TObject*, TButtons pressed, Integer x, Integer y) {
  Add(Record(TEventKind::Move, {}, pressed, x, y, 0));
}

void TEventLog::MoveZ(System::TObject*, TButtons pressed, Integer z) {
  Add(Record(TEventKind::MoveZ, {}, pressed, 0, 0, z));
}

void TEventLog::ButtonDown(System::TObject*, TButtons changed, TButtons pressed, Integer x,
                           Integer y) {
  Add(Record(TEventKind::ButtonDown, changed, pressed, x, y, 0));
}

void TEventLog::ButtonUp(System::TObject*, TButtons changed, TButtons pressed, Integer x,
                         Integer y) {
  Add(Record(TEventKind::ButtonUp, changed, pressed, x, y, 0));
}

}  // namespace vorlane::JoyMon
