// Windows: Ctrl+C, Ctrl+Break and the console's closing end the loop. The console
// handler (which Windows runs on a thread of its own) only records the event and
// signals an event object; the loop's watch of it calls Terminate.
#include "Signals.hpp"

#include <atomic>

#include "vorlane/visual/Forms.hpp"

// After the framework's headers, some of whose names it defines as macros.
#include <windows.h>

namespace vorlane::JoyMon {

namespace {

std::atomic<int> LastSignal{0};

// Manual-reset events made once and kept for the life of the process: the handler's
// thread may still signal one while the loop's side is going away.
HANDLE NewEvent() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) throw System::Exception(u"cannot create the event for console signals");
  return event;
}
HANDLE Signalled() {  // a console event came: the loop's watch
  static const HANDLE event = NewEvent();
  return event;
}
HANDLE Finished() {  // the loop's side has stopped
  static const HANDLE event = NewEvent();
  return event;
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      LastSignal.store(static_cast<int>(type) + 1);
      SetEvent(Signalled());
      // A closing console ends the process as soon as the handler returns: wait
      // (within the five seconds the system allows) until the loop has stopped and
      // the controllers are given back.
      if (type == CTRL_CLOSE_EVENT) WaitForSingleObject(Finished(), 4000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

TTerminationSignals::TTerminationSignals() {
  const HANDLE signalled = Signalled();  // made before the handler can use them
  ResetEvent(Finished());
  FWatch = Messages::TThreadLoop::Current().AddWatch(
      reinterpret_cast<Messages::TWatchSource>(signalled),
      Closure::TClosure<void()>::Bind<&TTerminationSignals::OnReadable>(this));
  if (!SetConsoleCtrlHandler(&OnConsoleEvent, TRUE)) {
    Messages::TThreadLoop::Current().RemoveWatch(FWatch);
    throw System::Exception(u"cannot install the console signal handler");
  }
}

TTerminationSignals::~TTerminationSignals() {
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  Messages::TThreadLoop::Current().RemoveWatch(FWatch);
  SetEvent(Finished());
}

int TTerminationSignals::Received() const {
  return LastSignal.load();
}

void TTerminationSignals::OnReadable() {
  ResetEvent(Signalled());
  Forms::Application().Terminate();
}

}  // namespace vorlane::JoyMon
