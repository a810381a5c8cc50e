// The full-screen view (ncurses) of one controller: its name, number and
// capabilities; each present axis as a bar with its calibrated, centred and raw
// value; the hat as an arrow and an angle; every button; the settings; and a
// scrolling log of the events with their rate. Keys: q quit, n/p controller,
// m event mode, r raw data, +/- threshold.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Monitor.hpp"
#include "Reading.hpp"

namespace vorlane::JoyMon {

class TCursesView {
 public:
  // Takes over the terminal; raises System::Exception when it cannot be used (no
  // TERM, an unknown terminal type).
  explicit TCursesView(TMonitor& monitor);
  // Gives the terminal back as it was.
  ~TCursesView();
  TCursesView(const TCursesView&) = delete;
  TCursesView& operator=(const TCursesView&) = delete;

  // Draws the screen from a fresh reading.
  void Refresh();
  // Handles the keys waiting on standard input; q sets QuitRequested.
  void HandleKeys();
  bool QuitRequested() const { return FQuit; }

 private:
  struct TScreen;
  int DrawHeader(int row, const TControllerReading& r);
  int DrawAxes(int row, const TControllerReading& r);
  int DrawHatAndButtons(int row, const TControllerReading& r);
  void DrawEvents(int row, int lastRow, const TControllerReading& r);
  void DrawFooter();
  void Put(int row, int col, const std::string& text, int attributes = 0);
  // Puts the items on `row` from `col`, `gap` blanks apart, going on to the next
  // row at the screen's edge; returns the row after the last one used.
  int PutItems(int row, int col, const std::vector<std::string>& items, int gap = 3);

  TMonitor& FMonitor;
  std::unique_ptr<TScreen> FScreen;
  bool FUnicode = false;
  bool FCompact = false;  // a short screen: no blank rows between the sections
  int Gap() const { return FCompact ? 0 : 1; }
  bool FQuit = false;
};

}  // namespace vorlane::JoyMon
