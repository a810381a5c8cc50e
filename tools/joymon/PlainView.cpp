#include "PlainView.hpp"

#include "TextFormat.hpp"
#include "TypeNames.hpp"

namespace vorlane::JoyMon {

TPlainView::TPlainView(TMonitor& monitor, std::FILE* out, bool eventsOnly)
    : FMonitor(monitor), FOut(out), FEventsOnly(eventsOnly) {}

void TPlainView::Line(const std::string& text) {
  std::fputs(text.c_str(), FOut);
  std::fputc('\n', FOut);
  std::fflush(FOut);
}

void TPlainView::PrintDescription(const TControllerReading& r) {
  const TCapabilitiesReading& c = r.Capabilities;
  Line("controller " + std::to_string(r.Controller) + " of " + std::to_string(r.ControllerCount) +
       ": " + ValueText(c.ProductName) + " (" + VendorProduct(c) + ")");
  if (!c.Flags.Ok()) return;
  Line("  capabilities: AxesCount " + ValueText(c.AxesCount) + " of " + ValueText(c.MaxAxes) +
       ", ButtonCount " + ValueText(c.ButtonCount) + " of " + ValueText(c.MaxButtons) +
       ", period " + ValueText(c.MinPeriod) + ".." + ValueText(c.MaxPeriod) + " ms, Flags " +
       SetText(*c.Flags.Value));
  Line("  driver: " + ValueText(c.Driver) + "; registry key: " + ValueText(c.RegistryKey));
  for (const std::string& line : r.LeftOut) Line("  left out, " + line);
}

void TPlainView::PrintValues(const TControllerReading& r) {
  std::string axes;
  for (int a = 0; a < AxisCount; ++a) {
    if (!r.AxisPresent(a)) continue;
    const TAxisReading& axis = r.Axes[a];
    axes += std::string(axes.empty() ? "" : "  ") + axis.Name + " " + ValueText(axis.Position) +
            " (centred " + ValueText(axis.Centered) + ", raw " + ValueText(axis.Raw) + ")";
  }
  Line("  axes: " + axes);
  std::string pov = ValueText(r.PointOfView);
  if (r.PointOfViewDirection.Ok())
    pov += " " + std::string(EnumName(*r.PointOfViewDirection.Value));
  Line("  PointOfView " + pov + "  PressedButtons " +
       (r.PressedButtons.Ok() ? SetText(*r.PressedButtons.Value)
                              : "(" + r.PressedButtons.Error + ")") +
       "  PressedButtonCount " + ValueText(r.PressedButtonCount));
}

void TPlainView::PrintSnapshot() {
  const TControllerReading r = ReadController(FMonitor.Joystick());
  if (FMonitor.DemoChosenByJoymon())
    Line("no controller attached: showing the built-in demo controller (--demo)");
  PrintDescription(r);
  Line("  settings: Active " + std::string(r.Active ? "true" : "false") + ", EventMode " +
       std::string(EnumName(r.EventMode)) + ", PollingPeriod " + std::to_string(r.PollingPeriod) +
       ", RawData " + (r.RawData ? "true" : "false") + ", Threshold " + ValueText(r.Threshold));
  if (const std::string error = r.FirstError(); !error.empty()) {
    Line("  " + error);
    return;
  }
  PrintValues(r);
}

void TPlainView::Refresh() {
  if (FEventsOnly) {
    // Only the events go to standard output; say on standard error why none come.
    const TControllerReading r = ReadController(FMonitor.Joystick());
    std::string state = r.FirstError();
    if (state != FLastState) {
      if (!state.empty())
        std::fprintf(stderr, "joymon: controller %d: %s\n", r.Controller, state.c_str());
      else if (!FLastState.empty())
        std::fprintf(stderr, "joymon: controller %d is back\n", r.Controller);
      FLastState = state;
    }
    return;
  }

  const TClock::time_point now = TClock::now();
  const TControllerReading r = ReadController(FMonitor.Joystick());
  if (r.Controller != FLastController) {
    if (FLastController < 0 && FMonitor.DemoChosenByJoymon())
      Line("no controller attached: showing the built-in demo controller (--demo)");
    PrintDescription(r);
    FLastController = r.Controller;
    FLastState.clear();
  }
  std::string state = r.FirstError();
  if (state.empty()) state = "attached";
  if (state != FLastState) {
    Line(ElapsedText(now, FMonitor.StartTime()) + " controller " + std::to_string(r.Controller) +
         ": " + state);
    FLastState = state;
  }
  if (FMonitor.Notice() != FLastNotice) {
    FLastNotice = FMonitor.Notice();
    if (!FLastNotice.empty()) Line(ElapsedText(now, FMonitor.StartTime()) + " " + FLastNotice);
  }
  if (state == "attached" && now - FLastValues >= std::chrono::seconds(1)) {
    FLastValues = now;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", FMonitor.Log().RatePerSecond(now));
    Line(ElapsedText(now, FMonitor.StartTime()) + " values, events " + rate + "/s:");
    PrintValues(r);
  }
}

void TPlainView::PrintEvent(const TEventRecord& event) {
  Line(ElapsedText(event.Time, FMonitor.StartTime()) + " " + EventText(event));
}

}  // namespace vorlane::JoyMon
