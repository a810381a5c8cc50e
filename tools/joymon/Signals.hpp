// Ends the application loop on SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C,
// Ctrl+Break, the console closing): the handler only writes to a pipe (signals an
// event), and the loop's watch of it calls Terminate, so the terminal and the
// controllers are given back in order.
#pragma once

#include "vorlane/visual/Messages.hpp"

namespace vorlane::JoyMon {

class TTerminationSignals {
 public:
  TTerminationSignals();   // installs the handlers and the watch on this thread's loop
  ~TTerminationSignals();  // restores the default handlers
  TTerminationSignals(const TTerminationSignals&) = delete;
  TTerminationSignals& operator=(const TTerminationSignals&) = delete;

  // The signal that ended the loop (on Windows the console event's number + 1), or 0.
  int Received() const;

 private:
  void OnReadable();
  Messages::TThreadLoop::TId FWatch = 0;
};

}  // namespace vorlane::JoyMon
