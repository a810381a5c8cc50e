#include "TextFormat.hpp"

#include <cstdio>

#include "TypeNames.hpp"

namespace vorlane::JoyMon {

std::string EventText(const TEventRecord& e) {
  std::string text = EventName(e.Kind);
  text.append(14 - std::min<std::size_t>(text.size(), 13), ' ');
  if (e.Kind == TEventKind::ButtonDown || e.Kind == TEventKind::ButtonUp)
    text += "Changed " + SetText(e.Changed) + "  ";
  text += "Pressed " + SetText(e.Pressed);
  if (e.Kind == TEventKind::MoveZ)
    text += "  Z " + std::to_string(e.Z);
  else
    text += "  X " + std::to_string(e.X) + "  Y " + std::to_string(e.Y);
  return text;
}

std::string ElapsedText(TClock::time_point time, TClock::time_point start) {
  const double seconds = std::chrono::duration<double>(time - start).count();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "+%.3fs", seconds);
  return buffer;
}

namespace {
bool Centred(System::Integer pov) {
  return pov < 0 || pov >= 36000;
}
}  // namespace

std::string HatArrow(System::Integer pov, bool unicode) {
  static const char* const arrows[] = {"↑", "↗", "→", "↘", "↓", "↙", "←", "↖"};
  static const char* const ascii[] = {"^", "/", ">", "\\", "v", "/", "<", "\\"};
  if (Centred(pov)) return unicode ? "·" : "o";
  const int octant = ((pov + 2250) / 4500) % 8;
  return unicode ? arrows[octant] : ascii[octant];
}

std::string HatAngle(System::Integer pov, bool unicode) {
  if (Centred(pov)) return "centred";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, unicode ? "%d.%02d°" : "%d.%02d deg", pov / 100, pov % 100);
  return buffer;
}

std::string VendorProduct(const TCapabilitiesReading& caps) {
  auto hex = [](const TRead<System::Integer>& v) -> std::string {
    if (!v.Ok()) return "?";
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(*v.Value) & 0xFFFFu);
    return buffer;
  };
  return hex(caps.Manufacturer) + ":" + hex(caps.Product);
}

std::string ValueText(const TRead<System::Integer>& value) {
  return value.Ok() ? std::to_string(*value.Value) : "(" + value.Error + ")";
}

std::string ValueText(const TRead<System::String>& value) {
  return value.Ok() ? System::StringToUtf8(*value.Value) : "(" + value.Error + ")";
}

}  // namespace vorlane::JoyMon
