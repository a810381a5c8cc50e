// The plain view, for when standard output is not a terminal (a pipe, a file, a
// log): lines instead of a screen. A description of the controller when it is
// first seen, each event as it arrives, its live values once a second, and a line
// whenever the controller goes away or comes back.
#pragma once

#include <cstdio>
#include <string>

#include "Monitor.hpp"
#include "Reading.hpp"

namespace vorlane::JoyMon {

class TPlainView {
 public:
  // `eventsOnly`: print the events and nothing else (--events).
  TPlainView(TMonitor& monitor, std::FILE* out, bool eventsOnly);
  TPlainView(const TPlainView&) = delete;
  TPlainView& operator=(const TPlainView&) = delete;

  // Every value once, as text (--once).
  void PrintSnapshot();
  // Called from the refresh timer: prints what changed and, once a second, the values.
  void Refresh();
  // The event log's listener.
  void PrintEvent(const TEventRecord& event);

 private:
  void PrintDescription(const TControllerReading& r);
  void PrintValues(const TControllerReading& r);
  void Line(const std::string& text);

  TMonitor& FMonitor;
  std::FILE* FOut;
  bool FEventsOnly;
  std::string FLastState;  // the last state line printed ("attached" or the error)
  System::Integer FLastController = -1;
  std::string FLastNotice;
  TClock::time_point FLastValues{};
};

}  // namespace vorlane::JoyMon
