#include "DeviceScript.hpp"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

namespace vorlane::dinput {

namespace {

constexpr std::uint32_t kMaxTimeMs = 3'600'000;  // one hour

struct AxisName {
  const char* name;
  AxisKind kind;
};
constexpr AxisName kAxisNames[] = {
    {"X", AxisKind::X},   {"Y", AxisKind::Y},   {"Z", AxisKind::Z},           {"Rx", AxisKind::Rx},
    {"Ry", AxisKind::Ry}, {"Rz", AxisKind::Rz}, {"Slider", AxisKind::Slider},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// One line split into words, read from the front.
class Words {
 public:
  Words(std::string_view line, int number) : rest_(line), line_(number) {}

  bool empty() { return trim(rest_).empty(); }

  std::string_view next(const char* what) {
    rest_ = trim(rest_);
    if (rest_.empty()) fail(std::string("expected ") + what + " at the end of the line");
    std::size_t end = rest_.find_first_of(" \t");
    std::string_view word = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end);
    return word;
  }

  std::string_view remainder() { return trim(rest_); }

  bool take(std::string_view keyword) {
    std::string_view saved = rest_;
    rest_ = trim(rest_);
    if (!rest_.empty()) {
      std::size_t end = rest_.find_first_of(" \t");
      if (equalsIgnoringCase(rest_.substr(0, end), keyword)) {
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end);
        return true;
      }
    }
    rest_ = saved;
    return false;
  }

  void expect(std::string_view keyword) {
    std::string_view word = next(std::string("\"").append(keyword).append("\"").c_str());
    if (!equalsIgnoringCase(word, keyword))
      fail("expected \"" + std::string(keyword) + "\", found \"" + std::string(word) + "\"");
  }

  std::int64_t integer(const char* what, std::int64_t min, std::int64_t max, int base = 10) {
    std::string_view word = next(what);
    std::string_view digits = word;
    if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
        (digits[1] == 'x' || digits[1] == 'X'))
      digits.remove_prefix(2);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc() || end != digits.data() + digits.size())
      fail(std::string(what) + " must be " +
           (base == 16 ? "a hexadecimal number" : "a whole number") + ", found \"" +
           std::string(word) + "\"");
    if (value < min || value > max)
      fail(std::string(what) + " must lie from " + std::to_string(min) + " to " +
           std::to_string(max) + ", found " + std::string(word));
    return value;
  }

  void finish() {
    if (!empty()) fail("unexpected \"" + std::string(remainder()) + "\" at the end of the line");
  }

  [[noreturn]] void fail(const std::string& message) const { throw ScriptError(line_, message); }

 private:
  std::string_view rest_;
  int line_;
};

std::optional<AxisKind> findAxis(std::string_view word) {
  for (const AxisName& entry : kAxisNames)
    if (equalsIgnoringCase(word, entry.name)) return entry.kind;
  return std::nullopt;
}

class Parser {
 public:
  DeviceScript run(std::string_view text) {
    int number = 0;
    while (!text.empty()) {
      std::size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      ++number;
      if (std::size_t hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);
      Words words(line, number);
      if (words.empty()) continue;
      parseLine(words, number);
    }
    return std::move(script_);
  }

 private:
  void parseLine(Words& words, int number) {
    std::string_view keyword = words.next("a keyword");
    if (equalsIgnoringCase(keyword, "device")) return parseDevice(words);
    if (equalsIgnoringCase(keyword, "at")) return parseStep(words, number);
    if (!script_.steps.empty())
      words.fail("\"" + std::string(keyword) + "\" after the first step: devices come first");
    if (script_.devices.empty())
      words.fail("\"" + std::string(keyword) + "\" outside a device: begin with \"device 0\"");
    ScriptedDevice& device = script_.devices.back();
    if (equalsIgnoringCase(keyword, "name")) {
      std::string_view name = words.remainder();
      if (name.empty()) words.fail("expected a name after \"name\"");
      if (name.size() > 259) words.fail("a name has at most 259 characters");
      device.name = std::string(name);
    } else if (equalsIgnoringCase(keyword, "vidpid")) {
      device.vendor = std::uint16_t(words.integer("the vendor id", 0, 0xffff, 16));
      device.product = std::uint16_t(words.integer("the product id", 0, 0xffff, 16));
      words.finish();
    } else if (equalsIgnoringCase(keyword, "axis")) {
      parseAxis(words, device);
    } else if (equalsIgnoringCase(keyword, "hat")) {
      if (device.hat) words.fail("the device already has a hat");
      device.hat = true;
      words.finish();
    } else if (equalsIgnoringCase(keyword, "buttons")) {
      device.buttons = int(words.integer("the button count", 0, kMaxButtons));
      words.finish();
    } else if (equalsIgnoringCase(keyword, "unplugged")) {
      device.attached = false;
      words.finish();
    } else {
      words.fail("unknown keyword \"" + std::string(keyword) + "\"");
    }
  }

  void parseDevice(Words& words) {
    if (!script_.steps.empty()) words.fail("\"device\" after the first step: devices come first");
    auto expected = std::int64_t(script_.devices.size());
    if (expected == kMaxDevices) words.fail("at most 4 devices");
    std::int64_t index = words.integer("the device number", 0, kMaxDevices - 1);
    if (index != expected)
      words.fail("devices are numbered in order: expected device " + std::to_string(expected));
    words.finish();
    ScriptedDevice device;
    device.name = "Vorlane Scripted Joystick " + std::to_string(index);
    script_.devices.push_back(std::move(device));
  }

  void parseAxis(Words& words, ScriptedDevice& device) {
    std::string_view word = words.next("an axis (X, Y, Z, Rx, Ry, Rz or Slider)");
    std::optional<AxisKind> kind = findAxis(word);
    if (!kind)
      words.fail("unknown axis \"" + std::string(word) + "\": X, Y, Z, Rx, Ry, Rz or Slider");
    int sliders = 0;
    for (const ScriptedAxis& axis : device.axes) {
      if (axis.kind == AxisKind::Slider)
        ++sliders;
      else if (axis.kind == *kind)
        words.fail(std::string("the device already has an axis ") + axisName(*kind));
    }
    if (*kind == AxisKind::Slider && sliders == kMaxSliders) words.fail("at most 2 sliders");
    if (int(device.axes.size()) == kMaxAxes) words.fail("at most 8 axes");
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min() / 2;
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max() / 2;
    auto min = std::int32_t(words.integer("the axis minimum", lowest, highest));
    auto max = std::int32_t(words.integer("the axis maximum", lowest, highest));
    if (min >= max) words.fail("the axis minimum must be below its maximum");
    std::int32_t initial = min + (max - min) / 2;
    if (!words.empty()) initial = std::int32_t(words.integer("the initial value", min, max));
    words.finish();
    device.axes.push_back({*kind, min, max, initial});
  }

  int parseDeviceReference(Words& words) {
    if (!words.take("device")) return checkDevice(words, 0);
    return checkDevice(words, int(words.integer("the device number", 0, kMaxDevices - 1)));
  }

  int checkDevice(Words& words, int index) {
    if (index >= int(script_.devices.size()))
      words.fail("device " + std::to_string(index) + " is not declared");
    return index;
  }

  void parseStep(Words& words, int number) {
    if (script_.devices.empty()) words.fail("a step before any device");
    std::string_view time = words.next("a time in ms");
    bool unitAttached = time.size() > 2 && equalsIgnoringCase(time.substr(time.size() - 2), "ms");
    if (unitAttached) time.remove_suffix(2);
    Words timeWords(time, number);
    auto atMs = std::uint32_t(timeWords.integer("the time", 0, kMaxTimeMs));
    if (!unitAttached) words.expect("ms");
    if (!script_.steps.empty() && atMs < script_.steps.back().atMs)
      words.fail("steps go forward in time: " + std::to_string(atMs) + " ms is before " +
                 std::to_string(script_.steps.back().atMs) + " ms");

    Step step{atMs, number, 0, Step::Action::SetAxis};
    std::string_view action = words.next("an action (set, press, release, hat, unplug, plug)");
    if (equalsIgnoringCase(action, "set")) {
      step.device = parseDeviceReference(words);
      const ScriptedDevice& device = script_.devices[std::size_t(step.device)];
      std::string_view word = words.next("an axis");
      bool second = equalsIgnoringCase(word, "Slider2");
      std::optional<AxisKind> kind = second ? AxisKind::Slider : findAxis(word);
      if (!kind) words.fail("unknown axis \"" + std::string(word) + "\"");
      step.index = device.axisIndex(*kind, second ? 1 : 0);
      if (step.index < 0)
        words.fail("device " + std::to_string(step.device) + " has no " + std::string(word) +
                   " axis");
      const ScriptedAxis& axis = device.axes[std::size_t(step.index)];
      step.value = std::int32_t(words.integer("the axis value", axis.min, axis.max));
    } else if (equalsIgnoringCase(action, "press") || equalsIgnoringCase(action, "release")) {
      step.action =
          equalsIgnoringCase(action, "press") ? Step::Action::Press : Step::Action::Release;
      step.device = parseDeviceReference(words);
      const ScriptedDevice& device = script_.devices[std::size_t(step.device)];
      words.expect("button");
      if (device.buttons == 0)
        words.fail("device " + std::to_string(step.device) + " has no buttons");
      step.index = int(words.integer("the button number", 1, device.buttons)) - 1;
    } else if (equalsIgnoringCase(action, "hat")) {
      step.action = Step::Action::Hat;
      step.device = parseDeviceReference(words);
      if (!script_.devices[std::size_t(step.device)].hat)
        words.fail("device " + std::to_string(step.device) + " has no hat");
      if (words.take("centre") || words.take("center"))
        step.value = kHatCentred;
      else
        step.value = std::int32_t(words.integer("the hat angle", 0, 35999));
    } else if (equalsIgnoringCase(action, "unplug") || equalsIgnoringCase(action, "plug")) {
      step.action = equalsIgnoringCase(action, "plug") ? Step::Action::Plug : Step::Action::Unplug;
      step.device = parseDeviceReference(words);
    } else {
      words.fail("unknown action \"" + std::string(action) +
                 "\": set, press, release, hat, unplug or plug");
    }
    words.finish();
    script_.steps.push_back(step);
  }

  DeviceScript script_;
};

}  // namespace

int ScriptedDevice::axisIndex(AxisKind kind, int nth) const {
  for (std::size_t i = 0; i < axes.size(); ++i)
    if (axes[i].kind == kind && nth-- == 0) return int(i);
  return -1;
}

const char* axisName(AxisKind kind) {
  for (const AxisName& entry : kAxisNames)
    if (entry.kind == kind) return entry.name;
  return "?";
}

DeviceScript parseScript(std::string_view text) {
  return Parser().run(text);
}

}  // namespace vorlane::dinput
