#include "ControllerList.hpp"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Json.hpp"
#include "Monitor.hpp"
#include "Reading.hpp"
#include "TextFormat.hpp"
#include "vorlane/Evdev.hpp"

namespace vorlane::JoyMon {

using System::Integer;

bool EvdevBackendEnabled() {
#if !VORLANE_JOYMON_EVDEV
  return false;
#endif
  const char* value = std::getenv("VORLANE_JOYSTICK_BACKENDS");
  if (value == nullptr || *value == '\0') return true;
  std::string list = value;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    const auto first = item.find_first_not_of(" \t");
    const auto last = item.find_last_not_of(" \t");
    if (first != std::string::npos && item.substr(first, last - first + 1) == "evdev") return true;
    start = end + 1;
  }
  return false;
}

namespace {

struct TEntry {
  Integer Number = 0;
  bool Attached = false;
  TCapabilitiesReading Caps;
  std::string State;  // "attached" or the service's message for the number
};

std::vector<TEntry> ReadEntries(Joystick::TJoystick& joystick) {
  std::vector<TEntry> entries;
  const Integer saved = joystick.GetController();
  const Integer count = joystick.GetControllerCount();
  for (Integer n = 0; n < count; ++n) {
    TEntry e;
    e.Number = n;
    e.Attached = joystick.GetAttached(n);
    // The capabilities are those of the component's own controller.
    joystick.SetController(n);
    Joystick::TCapabilities& c = *joystick.GetCapabilities();
    e.Caps.ProductName = ReadValue<System::String>([&] { return c.GetProductName(); });
    e.Caps.Manufacturer = ReadValue<Integer>([&] { return c.GetManufacturer(); });
    e.Caps.Product = ReadValue<Integer>([&] { return c.GetProduct(); });
    e.Caps.AxesCount = ReadValue<Integer>([&] { return c.GetAxesCount(); });
    e.Caps.ButtonCount = ReadValue<Integer>([&] { return c.GetButtonCount(); });
    e.Caps.Flags = ReadValue<Joystick::TCapabilityFlags>([&] { return c.GetFlags(); });
    e.State = e.Attached                         ? "attached"
              : e.Caps.ProductName.Error.empty() ? "no controller"
                                                 : e.Caps.ProductName.Error;
    entries.push_back(std::move(e));
  }
  joystick.SetController(saved);
  return entries;
}

std::string HatText(const TEntry& e) {
  if (!e.Caps.Flags.Ok() || !e.Caps.Flags.Value->Contains(Joystick::cfHasPointOfView)) return "";
  return e.Caps.Flags.Value->Contains(Joystick::cfContinuousPointOfView) ? ", continuous hat"
                                                                         : ", hat";
}

void PrintText(std::FILE* out, const std::vector<TEntry>& entries,
               const std::vector<Evdev::TNodeReport>& nodes, bool evdev) {
  std::fprintf(out, "ControllerCount %zu\n", entries.size());
  for (const TEntry& e : entries) {
    if (e.Attached && e.Caps.ProductName.Ok()) {
      std::fprintf(out, "%3d  attached      %-32s %s  %s axes, %s buttons%s\n", e.Number,
                   System::StringToUtf8(*e.Caps.ProductName.Value).c_str(),
                   VendorProduct(e.Caps).c_str(), ValueText(e.Caps.AxesCount).c_str(),
                   ValueText(e.Caps.ButtonCount).c_str(), HatText(e).c_str());
    } else {
      // The usual answer for a free number is left out (the project's service says
      // 167, winmm 165); anything else is shown.
      const int code = e.Caps.ProductName.ErrorCode;
      if (code == 167 || code == 165 || e.State == "no controller")
        std::fprintf(out, "%3d  -\n", e.Number);
      else
        std::fprintf(out, "%3d  not attached  (%s)\n", e.Number, e.State.c_str());
    }
  }
  if (!evdev) {
#if VORLANE_JOYMON_EVDEV
    std::fprintf(out,
                 "event nodes: not scanned, the evdev backend is not enabled "
                 "(VORLANE_JOYSTICK_BACKENDS)\n");
#endif
    return;
  }
  for (const Evdev::TNodeReport& n : nodes)
    for (const std::string& line : n.LeftOut)
      std::fprintf(out, "  %s (%s) left out, %s\n", n.Path.c_str(), n.Name.c_str(), line.c_str());
  std::size_t unopened = 0;
  for (const Evdev::TNodeReport& n : nodes) unopened += n.Opened ? 0 : 1;
  std::error_code ignored;
  if (nodes.empty() && !std::filesystem::is_directory("/dev/input", ignored)) {
    std::fprintf(out,
                 "event nodes: there is no /dev/input on this machine, so no controller can be "
                 "found there (joymon --demo shows the built-in demo controller)\n");
    return;
  }
  if (unopened == 0) {
    std::fprintf(out, "event nodes: every joystick node could be opened\n");
    return;
  }
  std::fprintf(out, "event nodes that could not be opened:\n");
  for (const Evdev::TNodeReport& n : nodes)
    if (!n.Opened)
      std::fprintf(out, "  %s: %s; %s\n", n.Path.c_str(), n.Reason.c_str(), n.Remedy.c_str());
}

void PrintJson(std::FILE* out, const std::vector<TEntry>& entries,
               const std::vector<Evdev::TNodeReport>& nodes, bool evdev) {
  TJsonWriter json(true);
  json.BeginObject();
  json.Key("ControllerCount").Value(entries.size());
  json.Key("Controllers").BeginArray();
  for (const TEntry& e : entries) {
    json.BeginObject();
    json.Key("Controller").Value(e.Number);
    json.Key("Attached").Value(e.Attached);
    if (e.Attached && e.Caps.ProductName.Ok()) {
      json.Key("ProductName").Value(System::StringView(*e.Caps.ProductName.Value));
      auto number = [&](const char* key, const TRead<Integer>& v) {
        json.Key(key);
        if (v.Ok())
          json.Value(*v.Value);
        else
          json.Null();
      };
      number("Manufacturer", e.Caps.Manufacturer);
      number("Product", e.Caps.Product);
      number("AxesCount", e.Caps.AxesCount);
      number("ButtonCount", e.Caps.ButtonCount);
    } else {
      json.Key("error").Value(e.Caps.ProductName.ErrorCode);
      json.Key("message").Value(e.Caps.ProductName.Error);
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("EvdevScanned").Value(evdev);
  json.Key("UnopenedNodes").BeginArray();
  for (const Evdev::TNodeReport& n : nodes) {
    if (n.Opened) continue;
    json.BeginObject();
    json.Key("path").Value(n.Path);
    json.Key("errno").Value(n.Error);
    json.Key("reason").Value(n.Reason);
    json.Key("remedy").Value(n.Remedy);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  std::fprintf(out, "%s\n", json.Text().c_str());
}

}  // namespace

void PrintControllerList(Joystick::TJoystick& joystick, std::FILE* out, bool json) {
  const std::vector<TEntry> entries = ReadEntries(joystick);
  const bool evdev = EvdevBackendEnabled();
  std::vector<Evdev::TNodeReport> nodes;
#if VORLANE_JOYMON_EVDEV
  if (evdev) nodes = Evdev::ListNodes();
#endif
  if (json)
    PrintJson(out, entries, nodes, evdev);
  else
    PrintText(out, entries, nodes, evdev);
}

}  // namespace vorlane::JoyMon
