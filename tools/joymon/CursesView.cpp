#include "CursesView.hpp"

#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "TextFormat.hpp"
#include "TypeNames.hpp"

// After every other header: curses.h defines names that clash with C++ ones, and
// its macros are turned off.
#define NCURSES_NOMACROS 1
#include <curses.h>

namespace vorlane::JoyMon {

namespace {

enum TColour : short { Bar = 1, Error = 2, Notice = 3, Heading = 4 };

int ColourOf(TColour c, bool colours) {
  return colours ? COLOR_PAIR(c) : 0;
}

// How many bytes of `text` fit into `columns` screen columns, counting one column
// per UTF-8 character.
std::size_t BytesForColumns(const std::string& text, int columns) {
  std::size_t i = 0;
  int used = 0;
  while (i < text.size() && used < columns) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    i = std::min(text.size(), i + length);
    ++used;
  }
  return i;
}

// Screen columns of `text`, one per UTF-8 character.
int ColumnsOf(const std::string& text) {
  int columns = 0;
  for (unsigned char c : text) columns += (c & 0xC0) != 0x80;
  return columns;
}

// `label` and the words of `text`, as items that PutItems wraps between words.
std::vector<std::string> Words(const std::string& label, const std::string& text) {
  std::vector<std::string> words{label};
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

}  // namespace

struct TCursesView::TScreen {
  SCREEN* Screen = nullptr;
  bool Colours = false;
};

TCursesView::TCursesView(TMonitor& monitor)
    : FMonitor(monitor), FScreen(std::make_unique<TScreen>()) {
  std::setlocale(LC_ALL, "");
  FUnicode = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  FScreen->Screen = newterm(nullptr, stdout, stdin);
  if (FScreen->Screen == nullptr) {
    const char* term = std::getenv("TERM");
    throw System::Exception(System::Utf8ToString(std::string("cannot use the terminal (TERM=") +
                                                 (term ? term : "unset") +
                                                 ") for the full-screen view"));
  }
  set_term(FScreen->Screen);
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  curs_set(0);
  if (has_colors()) {
    start_color();
    use_default_colors();
    init_pair(Bar, COLOR_GREEN, -1);
    init_pair(Error, COLOR_RED, -1);
    init_pair(Notice, COLOR_YELLOW, -1);
    init_pair(Heading, COLOR_CYAN, -1);
    FScreen->Colours = true;
  }
}

TCursesView::~TCursesView() {
  endwin();
  delscreen(FScreen->Screen);
}

int TCursesView::PutItems(int row, int col, const std::vector<std::string>& items, int gap) {
  const int cols = getmaxx(stdscr);
  int at = col;
  for (const std::string& item : items) {
    const int width = ColumnsOf(item);
    if (at > col && at + gap + width > cols) {
      ++row;
      at = col;
    } else if (at > col) {
      at += gap;
    }
    Put(row, at, item);
    at += width;
  }
  return row + 1;
}

void TCursesView::Put(int row, int col, const std::string& text, int attributes) {
  const int rows = getmaxy(stdscr), cols = getmaxx(stdscr);
  if (row < 0 || row >= rows || col >= cols) return;
  const std::size_t bytes = BytesForColumns(text, cols - col);
  wattron(stdscr, attributes);
  mvwaddnstr(stdscr, row, col, text.c_str(), static_cast<int>(bytes));
  wattroff(stdscr, attributes);
}

int TCursesView::DrawHeader(int row, const TControllerReading& r) {
  const bool colours = FScreen->Colours;
  const int cols = getmaxx(stdscr);
  const TCapabilitiesReading& c = r.Capabilities;

  std::string title = " joymon   controller " + std::to_string(r.Controller) + " of " +
                      std::to_string(r.ControllerCount);
  if (c.ProductName.Ok())
    title += ":  " + System::StringToUtf8(*c.ProductName.Value) + "  (" + VendorProduct(c) + ")";
  if (FMonitor.HasDemo() && c.ProductName.Ok() &&
      *c.ProductName.Value == TDemoController::Description().Name)
    title += "  [demo]";
  title.resize(std::max<std::size_t>(title.size(), static_cast<std::size_t>(cols)), ' ');
  Put(row++, 0, title, A_REVERSE | A_BOLD);

  // On a short screen the notice takes the place of the demo line while it shows.
  const bool notice = !FMonitor.Notice().empty();
  if (FMonitor.DemoChosenByJoymon() && !(FCompact && notice))
    Put(row++, 1, "no controller attached: showing the built-in demo controller (--demo)",
        A_BOLD | ColourOf(Notice, colours));
  else if (!FCompact)
    ++row;
  if (notice) Put(row, 1, FMonitor.Notice(), ColourOf(Notice, colours));
  if (notice || !FCompact) ++row;

  Put(row, 1, "Capabilities", A_BOLD | ColourOf(Heading, colours));
  if (c.Flags.Ok()) {
    row = PutItems(
        row, 15,
        {"AxesCount " + ValueText(c.AxesCount) + " of " + ValueText(c.MaxAxes),
         "ButtonCount " + ValueText(c.ButtonCount) + " of " + ValueText(c.MaxButtons),
         "MinPeriod " + ValueText(c.MinPeriod) + " ms",
         "MaxPeriod " + ValueText(c.MaxPeriod) + " ms", "vendor:product " + VendorProduct(c)});
    row = PutItems(row, 15, Words("Flags", SetText(*c.Flags.Value)), 1);  // "[cfHasZ, cfHasR]"
    if (!FCompact)
      row = PutItems(row, 15,
                     {"Driver " + ValueText(c.Driver), "RegistryKey " + ValueText(c.RegistryKey)});
    // "more than 32 buttons: BTN_TRIGGER_HAPPY17 ...", wrapped between code names.
    for (const std::string& line : r.LeftOut) row = PutItems(row, 15, Words("Left out:", line), 1);
  } else {
    Put(row++, 15, "(" + c.Flags.Error + ")", ColourOf(Error, colours));
  }

  Put(row, 1, "Settings", A_BOLD | ColourOf(Heading, colours));
  row = PutItems(
      row, 15,
      {std::string("Active ") + (r.Active ? "true" : "false") +
           (!r.Capturing ? " (not capturing)"
            : r.Attached ? " (capturing)"
                         : " (capturing, controller away)"),
       "EventMode " + std::string(EnumName(r.EventMode)), "Threshold " + ValueText(r.Threshold),
       "PollingPeriod " + std::to_string(r.PollingPeriod) + " ms",
       std::string("RawData ") + (r.RawData ? "true" : "false")});
  return row + Gap();
}

int TCursesView::DrawAxes(int row, const TControllerReading& r) {
  const bool colours = FScreen->Colours;
  const int cols = getmaxx(stdscr);
  constexpr int BarColumn = 40;
  const int barWidth = std::max(10, cols - BarColumn - 2);

  Put(row, 1, "Axis", A_BOLD | ColourOf(Heading, colours));
  Put(row, 6, Padded(r.RawData ? "Position*" : "Position", 10),
      A_BOLD | ColourOf(Heading, colours));
  Put(row, 17, Padded(r.RawData ? "Centered*" : "Centered", 10),
      A_BOLD | ColourOf(Heading, colours));
  Put(row, 28, Padded("Raw", 10), A_BOLD | ColourOf(Heading, colours));
  Put(row, BarColumn, "0", ColourOf(Heading, colours));
  Put(row, BarColumn + 1 + barWidth / 2 - 2, "32767", ColourOf(Heading, colours));
  Put(row, BarColumn + barWidth - 3, "65535", ColourOf(Heading, colours));
  ++row;

  for (int a = 0; a < AxisCount; ++a) {
    if (!r.AxisPresent(a)) continue;
    const TAxisReading& axis = r.Axes[a];
    Put(row, 2, std::string(1, axis.Name), A_BOLD);
    Put(row, 6, Padded(ValueText(axis.Position), 10));
    Put(row, 17, Padded(ValueText(axis.Centered), 10));
    Put(row, 28, Padded(ValueText(axis.Raw), 10));
    // The bar shows the calibrated reading, 0..65535, with a mark at the middle.
    const long value = axis.Calibrated.Ok() ? *axis.Calibrated.Value : 0;
    const int filled = static_cast<int>(value * barWidth / 65536);
    std::string bar;
    for (int i = 0; i < barWidth; ++i) {
      if (i < filled)
        bar += FUnicode ? "█" : "#";
      else if (i == barWidth / 2)
        bar += "|";
      else
        bar += FUnicode ? "·" : ".";
    }
    Put(row, BarColumn, "[");
    Put(row, BarColumn + 1, bar, ColourOf(Bar, colours));
    Put(row, BarColumn + 1 + barWidth, "]");
    ++row;
  }
  if (r.RawData)
    Put(row++, 6,
        "* RawData true: uncalibrated readings, device units minus the minimum (the bar stays "
        "calibrated)");
  return row + Gap();
}

int TCursesView::DrawHatAndButtons(int row, const TControllerReading& r) {
  const bool colours = FScreen->Colours;
  const TCapabilitiesReading& c = r.Capabilities;
  const bool hasHat = c.Flags.Ok() && c.Flags.Value->Contains(Joystick::cfHasPointOfView);

  Put(row, 1, "Hat", A_BOLD | ColourOf(Heading, colours));
  if (!hasHat) {
    Put(row, 10, "none");
  } else if (r.PointOfView.Ok()) {
    const System::Integer pov = *r.PointOfView.Value;
    Put(row, 10, HatArrow(pov, FUnicode), A_BOLD | ColourOf(Bar, colours));
    std::string text = "PointOfView " + std::to_string(pov) + " (" + HatAngle(pov, FUnicode) + ")";
    if (r.PointOfViewDirection.Ok())
      text += "   PointOfViewDirection " + std::string(EnumName(*r.PointOfViewDirection.Value));
    Put(row, 13, text);
  } else {
    Put(row, 10, "(" + r.PointOfView.Error + ")", ColourOf(Error, colours));
  }
  row += 1 + Gap();

  Put(row, 1, "Buttons", A_BOLD | ColourOf(Heading, colours));
  const System::Integer count =
      std::min<System::Integer>(c.ButtonCount.Ok() ? *c.ButtonCount.Value : 0, 32);
  const Joystick::TButtons pressed = r.PressedButtons.Value.value_or(Joystick::TButtons());
  const int cols = getmaxx(stdscr);
  int col = 10;
  for (System::Integer b = 0; b < count; ++b) {
    if (col + 4 > cols) {
      col = 10;
      ++row;
    }
    // A pressed button is bracketed as well as highlighted, so that it shows
    // on a terminal without attributes too.
    const bool down = pressed.Contains(static_cast<Joystick::TJoyButton>(b));
    char label[16];  // room for any int, so that no build sees a truncation
    std::snprintf(label, sizeof label, down ? "[%2d]" : " %2d ", static_cast<int>(b + 1));
    Put(row, col, label, down ? A_REVERSE | A_BOLD | ColourOf(Bar, colours) : A_DIM);
    col += 4;
  }
  ++row;
  Put(row++, 10,
      "PressedButtons " +
          (r.PressedButtons.Ok() ? SetText(pressed) : "(" + r.PressedButtons.Error + ")") +
          "   PressedButtonCount " + ValueText(r.PressedButtonCount));
  return row + Gap();
}

void TCursesView::DrawEvents(int row, int lastRow, const TControllerReading& r) {
  const bool colours = FScreen->Colours;
  TEventLog& log = FMonitor.Log();
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.0f/s", log.RatePerSecond(TClock::now()));
  Put(row, 1, "Events", A_BOLD | ColourOf(Heading, colours));
  std::vector<std::string> items{rate, "total " + std::to_string(log.Total())};
  for (int k = 0; k < EventKindCount; ++k)
    items.push_back(std::string(EventName(static_cast<TEventKind>(k))) + " " +
                    std::to_string(log.TotalOf(static_cast<TEventKind>(k))));
  // The capture's messages hold buttons 1 to 8; PressedButtons has all 32.
  const auto& buttons = r.Capabilities.ButtonCount;
  if (buttons.Ok() && *buttons.Value > 8) items.emplace_back("(events carry buttons 1 to 8)");
  // RawData switches the queries only; the service's messages always hold
  // calibrated positions.
  if (FMonitor.Joystick().GetRawData()) items.emplace_back("(events carry calibrated positions)");
  row = PutItems(row, 10, items);
  // The newest event at the bottom, older ones scrolling up.
  const int lines = lastRow - row + 1;
  if (lines <= 0) return;
  const std::size_t shown = std::min<std::size_t>(log.Size(), static_cast<std::size_t>(lines));
  if (shown == 0) {
    Put(row, 10, "(none yet: move the controller or press a button)", A_DIM);
    return;
  }
  for (std::size_t i = 0; i < shown; ++i) {
    const TEventRecord& e = log.Recent(shown - 1 - i);
    Put(row + static_cast<int>(i), 3,
        Padded(ElapsedText(e.Time, FMonitor.StartTime()), 10) + "  " + EventText(e));
  }
}

void TCursesView::DrawFooter() {
  const int rows = getmaxy(stdscr), cols = getmaxx(stdscr);
  std::string keys = cols >= 110
                         ? " q quit   n/p next/previous controller   m event mode   r raw data   "
                           "+/- threshold"
                         : " q quit  n/p controller  m event mode  r raw data  +/- threshold";
  if (FMonitor.HasDemo()) keys += cols >= 110 ? "   u unplug/replug demo" : "  u unplug demo";
  keys.resize(std::max<std::size_t>(keys.size(), static_cast<std::size_t>(cols) - 1), ' ');
  Put(rows - 1, 0, keys, A_REVERSE);
}

void TCursesView::Refresh() {
  const TControllerReading r = ReadController(FMonitor.Joystick());
  werase(stdscr);
  FCompact = getmaxy(stdscr) < 34;
  int row = DrawHeader(0, r);
  if (const std::string error = r.FirstError(); !error.empty()) {
    const bool colours = FScreen->Colours;
    Put(row++, 1, "Controller " + std::to_string(r.Controller) + ": " + error,
        A_BOLD | ColourOf(Error, colours));
    std::vector<std::string> hints{
        "Waiting for it: the view comes back by itself when it is attached."};
    hints.emplace_back("n/p switches to another controller.");
    if (!FMonitor.HasDemo())
      hints.emplace_back("joymon --demo shows the built-in demo controller.");
    row = PutItems(row, 1, hints, 1);
    ++row;
  } else {
    row = DrawAxes(row, r);
    row = DrawHatAndButtons(row, r);
  }
  DrawEvents(row, getmaxy(stdscr) - 2, r);
  DrawFooter();
  wrefresh(stdscr);
}

void TCursesView::HandleKeys() {
  for (int key = wgetch(stdscr); key != ERR; key = wgetch(stdscr)) {
    switch (key) {
      case 'q':
      case 'Q':
        FQuit = true;
        break;
      case 'n':
      case KEY_RIGHT:
        FMonitor.SwitchController(+1);
        break;
      case 'p':
      case KEY_LEFT:
        FMonitor.SwitchController(-1);
        break;
      case 'm':
        FMonitor.ToggleEventMode();
        break;
      case 'r':
        FMonitor.ToggleRawData();
        break;
      case 'u':
        FMonitor.ToggleDemoPlugged();
        break;
      case '+':
      case '=':
        FMonitor.ChangeThreshold(+TMonitor::ThresholdStep);
        break;
      case '-':
      case '_':
        FMonitor.ChangeThreshold(-TMonitor::ThresholdStep);
        break;
      default:
        break;  // KEY_RESIZE and the rest: the next refresh redraws
    }
  }
}

}  // namespace vorlane::JoyMon
