// The test side of the service's fault injection and call log: the service core
// keeps the faults and the log; this library only arms and reads them.
#include <cstdio>

#include "joystick/Service.hpp"
#include "vorlane/JoystickTesting.hpp"

namespace vorlane::JoystickTesting {

void RefuseCall(TServiceCall call, UINT controller, MMRESULT code, int times) {
  JoystickService::AddFault(call, controller, code, times);
}
void ClearFaults() {
  JoystickService::ClearFaults();
}
void StartCallLog() {
  JoystickService::StartCallLog();
}
std::vector<TCallRecord> GetCallLog() {
  return JoystickService::GetCallLog();
}
void StopCallLog() {
  JoystickService::StopCallLog(false);
}

TTestScope::TTestScope() {
  ClearFaults();
  JoystickService::StopCallLog(true);
}
TTestScope::~TTestScope() {
  ClearFaults();
  JoystickService::StopCallLog(true);
}

const char* GetCallName(TServiceCall call) {
  switch (call) {
    case TServiceCall::GetNumDevs:
      return "joyGetNumDevs";
    case TServiceCall::GetPos:
      return "joyGetPos";
    case TServiceCall::GetPosEx:
      return "joyGetPosEx";
    case TServiceCall::GetDevCaps:
      return "joyGetDevCapsW";
    case TServiceCall::GetDevCapsA:
      return "joyGetDevCapsA";
    case TServiceCall::GetThreshold:
      return "joyGetThreshold";
    case TServiceCall::SetThreshold:
      return "joySetThreshold";
    case TServiceCall::SetCapture:
      return "joySetCapture";
    case TServiceCall::ReleaseCapture:
      return "joyReleaseCapture";
  }
  return "?";
}

std::string ToString(const TCallRecord& r) {
  char text[160];
  const char* name = GetCallName(r.Call);
  const char* record = r.NullRecord ? "NULL" : "";
  switch (r.Call) {
    case TServiceCall::GetNumDevs:
      std::snprintf(text, sizeof text, "%s() = %u", name, r.Result);
      break;
    case TServiceCall::GetPosEx:
      if (r.NullRecord)
        std::snprintf(text, sizeof text, "%s(%u, NULL) = %u", name, r.Controller, r.Result);
      else
        std::snprintf(text, sizeof text, "%s(%u, dwSize=%u, dwFlags=0x%X) = %u", name, r.Controller,
                      unsigned{r.Size}, unsigned{r.Flags}, r.Result);
      break;
    case TServiceCall::GetDevCaps:
    case TServiceCall::GetDevCapsA:
      std::snprintf(text, sizeof text, "%s(%u, %s%s%u) = %u", name, r.Controller, record,
                    r.NullRecord ? ", " : "", unsigned{r.Size}, r.Result);
      break;
    case TServiceCall::GetThreshold:
      std::snprintf(text, sizeof text, "%s(%u%s) = %u, threshold %u", name, r.Controller,
                    r.NullRecord ? ", NULL" : "", r.Result, r.Threshold);
      break;
    case TServiceCall::SetThreshold:
      std::snprintf(text, sizeof text, "%s(%u, %u) = %u", name, r.Controller, r.Threshold,
                    r.Result);
      break;
    case TServiceCall::SetCapture:
      std::snprintf(text, sizeof text, "%s(%p, %u, %u, %d) = %u", name,
                    static_cast<void*>(r.Window), r.Controller, r.Period, r.Changed, r.Result);
      break;
    case TServiceCall::GetPos:
    case TServiceCall::ReleaseCapture:
      std::snprintf(text, sizeof text, "%s(%u%s) = %u", name, r.Controller,
                    r.NullRecord ? ", NULL" : "", r.Result);
      break;
  }
  return text;
}

}  // namespace vorlane::JoystickTesting
