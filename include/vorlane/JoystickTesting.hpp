// Fault injection and the call log of the joystick service, for tests: the
// service can refuse chosen calls and record every call made to it. This is a
// library of its own (Vorlane::joytesting); applications do not link it.
//
//   TTestScope scope;                                 // clean faults and log, now and after
//   RefuseCall(TServiceCall::GetPosEx, 0, JOYERR_UNPLUGGED, 1);  // the next one only
//   StartCallLog();
//   ... code under test ...
//   std::vector<TCallRecord> calls = GetCallLog();     // calls[0].Flags == JOY_RETURNX ...
#pragma once

#include <string>
#include <vector>

#include "vorlane/joystickapi.h"

namespace vorlane::JoystickTesting {

enum class TServiceCall : std::uint8_t {
  GetNumDevs,
  GetPos,
  GetPosEx,
  GetDevCaps,  // joyGetDevCapsW
  GetThreshold,
  SetThreshold,
  SetCapture,
  ReleaseCapture,
  GetDevCapsA,  // joyGetDevCapsA
};
// "joyGetPosEx" and so on.
const char* GetCallName(TServiceCall call);

// Matches every controller number in RefuseCall.
inline constexpr UINT AnyController = 0xFFFFFFFFu;

// Makes the next `times` calls of `call` for `controller` (or AnyController)
// return `code` (-1: every such call until ClearFaults). A refused call is refused
// before any other check and changes nothing, not even the caller's record. For
// joyGetNumDevs, `code` is the count it returns. When several faults match, the
// one set first is used. `times` of 0 adds nothing.
void RefuseCall(TServiceCall call, UINT controller, MMRESULT code, int times = -1);
void ClearFaults();

// One call made to the service, from any thread. Fields that do not apply to the
// call are 0.
struct TCallRecord {
  TServiceCall Call = TServiceCall::GetNumDevs;
  UINT Controller = 0;      // the number passed (joyGetDevCaps: 0xFFFFFFFF when wider)
  bool NullRecord = false;  // the record (or threshold) pointer was null
  DWORD Size = 0;           // joyGetPosEx: dwSize; joyGetDevCapsW and A: cbjc
  DWORD Flags = 0;          // joyGetPosEx: dwFlags
  UINT Period = 0;          // joySetCapture: uPeriod as passed
  BOOL Changed = FALSE;     // joySetCapture: fChanged as passed
  HWND Window = nullptr;    // joySetCapture
  UINT Threshold = 0;       // joySetThreshold: as passed; joyGetThreshold: as reported
  MMRESULT Result = 0;      // the result code; joyGetNumDevs: the count
  friend bool operator==(const TCallRecord&, const TCallRecord&) = default;
};
// "joyGetPosEx(0, dwSize=52, dwFlags=0x101) = 0" and so on.
std::string ToString(const TCallRecord& record);

// Clears the log and starts recording every call.
void StartCallLog();
// The calls recorded since StartCallLog, oldest first.
std::vector<TCallRecord> GetCallLog();
// Stops recording; the log stays readable until the next StartCallLog.
void StopCallLog();

// Clears faults and the call log (and stops it) when made and when destroyed.
class TTestScope {
 public:
  TTestScope();
  ~TTestScope();
  TTestScope(const TTestScope&) = delete;
  TTestScope& operator=(const TTestScope&) = delete;
};

}  // namespace vorlane::JoystickTesting
