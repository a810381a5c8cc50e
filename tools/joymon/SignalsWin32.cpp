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

HANDLE Event = nullptr;
std::atomic<int> LastSignal{0};

BOOL WINAPI OnConsoleEvent(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      LastSignal.store(static_cast<int>(type) + 1);
      SetEvent(Event);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

TTerminationSignals::TTerminationSignals() {
  Event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (Event == nullptr) throw System::Exception(u"cannot create the event for console signals");
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  FWatch = Messages::TThreadLoop::Current().AddWatch(
      reinterpret_cast<Messages::TWatchSource>(Event),
      Closure::TClosure<void()>::Bind<&TTerminationSignals::OnReadable>(this));
}

TTerminationSignals::~TTerminationSignals() {
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  Messages::TThreadLoop::Current().RemoveWatch(FWatch);
  CloseHandle(Event);
  Event = nullptr;
}

int TTerminationSignals::Received() const {
  return LastSignal.load();
}

void TTerminationSignals::OnReadable() {
  ResetEvent(Event);
  Forms::Application().Terminate();
}

}  // namespace vorlane::JoyMon
