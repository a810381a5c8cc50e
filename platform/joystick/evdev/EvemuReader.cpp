#include "joystick/evdev/EvemuReader.hpp"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "vorlane/Evdev.hpp"

namespace vorlane::JoystickService::EvdevBackend {

namespace {

using Evdev::ERecordingError;

constexpr std::size_t MaxRecordingBytes = std::size_t{256} << 20;
constexpr std::size_t MaxFoundText = 60;

std::string HexText(unsigned value, int digits = 2) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

std::string TypeName(unsigned type) {
  const char* name = libevdev_event_type_get_name(type);
  return name != nullptr ? std::string(name) : HexText(type);
}

// The offending text as it can be shown in a message: shortened, with bytes that
// are not printable ASCII written as \xNN.
std::string Shown(std::string_view text) {
  std::string shown = "\"";
  std::size_t used = 0;
  for (unsigned char c : text) {
    if (used++ == MaxFoundText) {
      shown += "...";
      break;
    }
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
  }
  return shown + "\"";
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(text[i])) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

class TParser {
 public:
  TParser(std::string_view text, const std::string& fileName) : FText(text), FFile(fileName) {
    FRecording.FileName = fileName;
    FRecording.Device.reset(libevdev_new());
    if (!FRecording.Device) throw std::bad_alloc();
    FAbsLine.fill(0);
    FAbsDescribed.fill(false);
  }

  TRecording Parse() {
    std::size_t pos = 0;
    bool first = true;
    while (pos < FText.size()) {
      const std::size_t end = FText.find('\n', pos);
      const std::string_view line =
          FText.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
      pos = end == std::string_view::npos ? FText.size() : end + 1;
      ++FLine;
      FCurrent = line;
      if (line.size() > MaxRecordingLine)
        Fail("a line of at most " + std::to_string(MaxRecordingLine) + " characters");
      if (line.find('\0') != std::string_view::npos) Fail("text (this line holds a NUL byte)");
      const std::string_view trimmed = Trim(line);
      if (trimmed.empty()) continue;
      if (trimmed.front() == '#') {
        if (first) ParseVersion(trimmed);
        if (FStage == TStage::Start) NoteStartValue(trimmed.substr(1));
        first = false;
        continue;
      }
      first = false;
      ParseLine(trimmed);
    }
    Finish();
    return std::move(FRecording);
  }

 private:
  enum class TStage { Start, Named, Described, Events };

  [[noreturn]] void Fail(const std::string& expected) const {
    throw ERecordingError(FFile, FLine, expected, Shown(Trim(FCurrent)));
  }
  [[noreturn]] void FailAt(std::uint32_t line, const std::string& expected,
                           const std::string& found) const {
    throw ERecordingError(FFile, line, expected, found);
  }

  void ParseVersion(std::string_view line) {
    const auto tokens = Tokens(line.substr(1));
    if (tokens.empty() || tokens[0] != "EVEMU") return;  // an ordinary comment: version 1.0
    int major = 0;
    int minor = 0;
    const std::string_view version = tokens.size() > 1 ? tokens[1] : std::string_view();
    const std::size_t dot = version.find('.');
    if (tokens.size() != 2 || dot == std::string_view::npos ||
        !Decimal(version.substr(0, dot), major) || !Decimal(version.substr(dot + 1), minor))
      Fail("a format version like \"# EVEMU 1.3\"");
    if (major != 1) Fail("an EVEMU 1.x recording (this reader knows versions 1.0 to 1.3)");
    FRecording.VersionMajor = major;
    FRecording.VersionMinor = minor;
  }

  // evemu-record's header comments list, under "Event type 3 (EV_ABS)", each axis as
  // "Event code <n> (<name>)" followed by "Value <v>": where the axis stood when the
  // recording began. They are comments, so a line that does not read that way is
  // passed over, never refused.
  void NoteStartValue(std::string_view comment) {
    const auto tokens = Tokens(comment);
    if (tokens.size() >= 3 && tokens[0] == "Event" && tokens[1] == "type") {
      FInAbsList = tokens[2] == "3";
      FListedCode = -1;
    } else if (tokens.size() >= 3 && tokens[0] == "Event" && tokens[1] == "code") {
      int code = -1;
      FListedCode = FInAbsList && Decimal(tokens[2], code) && code < ABS_CNT ? code : -1;
    } else if (tokens.size() == 2 && tokens[0] == "Value" && FListedCode >= 0) {
      std::int32_t value = 0;
      const std::string_view text = tokens[1];
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (ec == std::errc() && end == text.data() + text.size())
        FRecording.ListedValues[static_cast<std::size_t>(FListedCode)] = value;
    } else if (tokens.empty() || tokens[0] == "Properties:") {
      FInAbsList = false;
      FListedCode = -1;
    }
  }

  static bool Decimal(std::string_view text, int& value) {
    if (text.empty() || text.size() > 6) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
  }

  void ParseLine(std::string_view line) {
    if (line.size() < 2 || line[1] != ':') Fail(ExpectedHere());
    const char kind = line[0];
    std::string_view rest = line.substr(2);
    if (kind == 'N') {
      if (FStage != TStage::Start) Fail(ExpectedHere());
      // The name is the rest of the line as it stands, trailing spaces included
      // (some kernel drivers pad names with them); only the line end goes.
      std::string_view name = FCurrent.substr(FCurrent.find(':') + 1);
      while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
      while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.remove_suffix(1);
      if (Trim(name).empty()) Fail("a device name after \"N:\"");
      libevdev_set_name(FRecording.Device.get(), std::string(name).c_str());
      FRecording.NameLine = FLine;
      FStage = TStage::Named;
      return;
    }
    const std::size_t hash = rest.find('#');
    if (hash != std::string_view::npos) rest = rest.substr(0, hash);
    const auto tokens = Tokens(rest);
    switch (kind) {
      case 'I':
        if (FStage != TStage::Named) Fail(ExpectedHere());
        ParseIds(tokens);
        FStage = TStage::Described;
        return;
      case 'P':
      case 'B':
      case 'A':
      case 'L':
      case 'S':
        if (FStage != TStage::Described) Fail(ExpectedHere());
        if (kind == 'P') ParseProperties(tokens);
        if (kind == 'B') ParseMask(tokens);
        if (kind == 'A') ParseAxis(tokens);
        if (kind == 'L') ParseState(tokens, EV_LED, "L: <LED code> <state>");
        if (kind == 'S') ParseState(tokens, EV_SW, "S: <switch code> <state>");
        return;
      case 'E':
        if (FStage == TStage::Described) {
          CheckAxesDescribed();
          FStage = TStage::Events;
        }
        if (FStage != TStage::Events) Fail(ExpectedHere());
        ParseEvent(tokens);
        return;
      default:
        Fail(ExpectedHere());
    }
  }

  std::string ExpectedHere() const {
    switch (FStage) {
      case TStage::Start:
        return "an N: line with the device name";
      case TStage::Named:
        return "an I: line \"I: <bustype> <vendor> <product> <version>\" (hex)";
      case TStage::Described:
        return "a P:, B:, A:, L:, S: or E: line";
      case TStage::Events:
        return "an E: line (the description ends at the first event)";
    }
    return {};
  }

  unsigned Hex(std::string_view token, unsigned max, const std::string& expected) const {
    unsigned value = 0;
    if (token.empty() || token.size() > 8) Fail(expected);
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value, 16);
    if (ec != std::errc() || end != token.data() + token.size() || value > max) Fail(expected);
    return value;
  }

  std::int32_t Int(std::string_view token, const std::string& expected) const {
    std::int32_t value = 0;
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || ec != std::errc() || end != token.data() + token.size()) Fail(expected);
    return value;
  }

  void ParseIds(const std::vector<std::string_view>& tokens) {
    const std::string expected =
        "\"I: <bustype> <vendor> <product> <version>\", four hex numbers up to ffff";
    if (tokens.size() != 4) Fail(expected);
    libevdev* device = FRecording.Device.get();
    libevdev_set_id_bustype(device, static_cast<int>(Hex(tokens[0], 0xffff, expected)));
    libevdev_set_id_vendor(device, static_cast<int>(Hex(tokens[1], 0xffff, expected)));
    libevdev_set_id_product(device, static_cast<int>(Hex(tokens[2], 0xffff, expected)));
    libevdev_set_id_version(device, static_cast<int>(Hex(tokens[3], 0xffff, expected)));
  }

  void ParseProperties(const std::vector<std::string_view>& tokens) {
    const std::string expected = "\"P: \" and 8 hex bytes of property bits";
    if (tokens.size() != 8) Fail(expected);
    const std::uint64_t base = std::uint64_t{FPropertyLines++} * 64;
    for (unsigned i = 0; i < 8; ++i) {
      const unsigned byte = Hex(tokens[i], 0xff, expected);
      for (unsigned bit = 0; bit < 8; ++bit) {
        if ((byte & (1u << bit)) == 0) continue;
        const std::uint64_t property = base + i * 8 + bit;
        if (property > INPUT_PROP_MAX ||
            libevdev_enable_property(FRecording.Device.get(), static_cast<unsigned>(property)) != 0)
          Fail("property bits up to INPUT_PROP_MAX (" + HexText(INPUT_PROP_MAX) + ")");
      }
    }
  }

  void ParseMask(const std::vector<std::string_view>& tokens) {
    const std::string expected = "\"B: <type> \" and 8 hex bytes of code bits, type up to 1f";
    if (tokens.size() != 9) Fail(expected);
    const unsigned type = Hex(tokens[0], EV_MAX, expected);
    const std::uint64_t base = std::uint64_t{FMaskLines[type]++} * 64;
    const int max = type == EV_SYN ? EV_MAX : libevdev_event_type_get_max(type);
    for (unsigned i = 0; i < 8; ++i) {
      const unsigned byte = Hex(tokens[i + 1], 0xff, expected);
      for (unsigned bit = 0; bit < 8; ++bit) {
        if ((byte & (1u << bit)) == 0) continue;
        const std::uint64_t code = base + i * 8 + bit;
        if (max < 0) Fail("no code bits for " + TypeName(type) + ", which has no codes");
        if (code > static_cast<std::uint64_t>(max))
          Fail("codes up to " + HexText(static_cast<unsigned>(max)) + " for " +
               (type == EV_SYN ? std::string("the event types") : TypeName(type)));
        Enable(type, static_cast<unsigned>(code));
      }
    }
  }

  void Enable(unsigned type, unsigned code) {
    libevdev* device = FRecording.Device.get();
    int rc = 0;
    if (type == EV_SYN) {
      rc = libevdev_enable_event_type(device, code);
    } else if (type == EV_ABS) {
      if (libevdev_has_event_code(device, EV_ABS, code)) return;
      const input_absinfo unset{};
      rc = libevdev_enable_event_code(device, EV_ABS, code, &unset);
      FAbsLine[code] = FLine;
    } else if (type == EV_REP) {
      const int period = 0;
      rc = libevdev_enable_event_code(device, EV_REP, code, &period);
    } else {
      rc = libevdev_enable_event_code(device, type, code, nullptr);
    }
    if (rc != 0) Fail("event codes that libevdev can enable");
  }

  void ParseAxis(const std::vector<std::string_view>& tokens) {
    const std::string expected =
        "\"A: <axis> <min> <max> <fuzz> <flat> <resolution>\", axis in hex up to 3f, "
        "the rest decimal";
    if (tokens.size() != 5 && tokens.size() != 6) Fail(expected);
    const unsigned code = Hex(tokens[0], ABS_MAX, expected);
    input_absinfo info{};
    info.minimum = Int(tokens[1], expected);
    info.maximum = Int(tokens[2], expected);
    info.fuzz = Int(tokens[3], expected);
    info.flat = Int(tokens[4], expected);
    info.resolution = tokens.size() == 6 ? Int(tokens[5], expected) : 0;
    if (FAbsDescribed[code]) Fail("one A: line per axis (" + CodeName(EV_ABS, code) + " again)");
    if (info.minimum > info.maximum)
      Fail("a minimum not above the maximum for " + CodeName(EV_ABS, code));
    libevdev* device = FRecording.Device.get();
    if (libevdev_has_event_code(device, EV_ABS, code)) {
      libevdev_set_abs_info(device, code, &info);
    } else if (libevdev_enable_event_code(device, EV_ABS, code, &info) != 0) {
      Fail(expected);
    }
    FAbsDescribed[code] = true;
  }

  void ParseState(const std::vector<std::string_view>& tokens, unsigned type,
                  const std::string& form) {
    const std::string expected = "\"" + form + "\", code in hex, state decimal";
    if (tokens.size() != 2) Fail(expected);
    const unsigned code =
        Hex(tokens[0], static_cast<unsigned>(libevdev_event_type_get_max(type)), expected);
    const std::int32_t value = Int(tokens[1], expected);
    if (!libevdev_has_event_code(FRecording.Device.get(), type, code))
      Fail("a code that the B: " + HexText(type).substr(2) + " lines enable (" +
           CodeName(type, code) + " is not among them)");
    libevdev_set_event_value(FRecording.Device.get(), type, code, value);
  }

  void CheckAxesDescribed() const {
    for (unsigned code = 0; code < ABS_CNT; ++code) {
      if (FAbsLine[code] == 0 || FAbsDescribed[code]) continue;
      FailAt(FAbsLine[code],
             "an A: line for " + CodeName(EV_ABS, code) + " (" + HexText(code) +
                 "), which this B: 03 line enables",
             "no A: line for it before the events");
    }
  }

  void ParseEvent(const std::vector<std::string_view>& tokens) {
    const std::string expected =
        "\"E: <seconds>.<microseconds> <type> <code> <value>\", type and code in hex, "
        "value decimal";
    if (tokens.size() != 4) Fail(expected);
    const std::int64_t time = Time(tokens[0], expected);
    const unsigned type = Hex(tokens[1], EV_MAX, expected);
    const int max = libevdev_event_type_get_max(type);
    if (max < 0) Fail("an event type with codes (" + TypeName(type) + " has none)");
    const unsigned code = Hex(tokens[2], static_cast<unsigned>(max), expected);
    const std::int32_t value = Int(tokens[3], expected);
    if (type != EV_SYN && !libevdev_has_event_code(FRecording.Device.get(), type, code))
      Fail("an event the description enables (" + TypeName(type) + " " + CodeName(type, code) +
           " is not in its B: lines)");
    if (FRecording.Events.empty()) FFirstTime = time;
    const std::int64_t offset = time - FFirstTime;
    if (!FRecording.Events.empty() && offset < FRecording.Events.back().Time)
      Fail("a time not before the previous event's");
    if (offset > MaxRecordedTime)
      Fail("a time at most 1000000000 seconds (about 31 years) after the first event's");
    FRecording.Events.push_back(
        {offset, static_cast<std::uint16_t>(type), static_cast<std::uint16_t>(code), value, FLine});
  }

  // "<seconds>.<fraction>" with 1 to 6 fraction digits, as microseconds.
  std::int64_t Time(std::string_view token, const std::string& expected) const {
    const std::size_t dot = token.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot > 12) Fail(expected);
    const std::string_view whole = token.substr(0, dot);
    const std::string_view fraction = token.substr(dot + 1);
    if (fraction.empty() || fraction.size() > 6) Fail(expected);
    std::int64_t seconds = 0;
    std::int64_t micros = 0;
    auto digits = [&](std::string_view text, std::int64_t& value) {
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (ec != std::errc() || end != text.data() + text.size() || value < 0 ||
          text.front() == '-' || text.front() == '+')
        Fail(expected);
    };
    digits(whole, seconds);
    digits(fraction, micros);
    for (std::size_t i = fraction.size(); i < 6; ++i) micros *= 10;
    return seconds * 1000000 + micros;
  }

  void Finish() {
    ++FLine;
    FCurrent = {};
    if (FStage == TStage::Start || FStage == TStage::Named)
      FailAt(FLine, ExpectedHere(), "the end of the file");
    if (FStage == TStage::Described) CheckAxesDescribed();
  }

  std::string_view FText;
  std::string FFile;
  std::uint32_t FLine = 0;
  std::string_view FCurrent;
  TStage FStage = TStage::Start;
  TRecording FRecording;
  bool FInAbsList = false;  // in the header comments' list of absolute axes
  int FListedCode = -1;     // the axis that list names last
  std::uint32_t FPropertyLines = 0;
  std::array<std::uint32_t, EV_CNT> FMaskLines{};
  std::array<std::uint32_t, ABS_CNT> FAbsLine{};  // the B: line that enabled each axis
  std::array<bool, ABS_CNT> FAbsDescribed{};
  std::int64_t FFirstTime = 0;
};

}  // namespace

TStartValues StartValuesOf(const TRecording& recording, const TDeviceMapping& mapping) {
  TStartValues start;
  for (const TRecordedEvent& e : recording.Events) {
    if (e.Type == EV_SYN && e.Code == SYN_REPORT) break;
    if (e.Type == EV_ABS && e.Code < ABS_CNT) start[e.Code] = e.Value;
  }
  const libevdev* device = recording.Device.get();
  for (unsigned code = 0; code < ABS_CNT; ++code) {
    const std::optional<std::int32_t>& listed = recording.ListedValues[code];
    if (listed && (*listed != 0 || RestOfCode(device, mapping, code) == 0)) start[code] = listed;
  }
  return start;
}

TRecording ParseRecording(std::string_view text, const std::string& fileName) {
  return TParser(text, fileName).Parse();
}

TRecording ReadRecording(const std::string& path) {
  std::string text;
  try {
    text = System::ReadWholeFile(path, MaxRecordingBytes);
  } catch (const System::EFileError& e) {
    const std::string problem = System::StringToUtf8(e.GetMessage());
    if (e.GetKind() == System::EFileError::TKind::Unreadable)
      throw ERecordingError(path, 0, "a readable recording file", problem);
    throw ERecordingError(path, 0, "a regular file of at most 256 MiB", "a file that " + problem);
  }
  return ParseRecording(text, path);
}

TRecording ReadControllerRecording(const std::string& path) {
  TRecording recording = ReadRecording(path);
  const TNodeClass kind = ClassifyNode(recording.Device.get());
  if (!kind.Controller) {
    throw ERecordingError(
        path, recording.NameLine,
        "a joystick or gamepad: joystick buttons (BTN_JOYSTICK.., BTN_GAMEPAD.., "
        "BTN_0.., BTN_TRIGGER_HAPPY..) or joystick axes (ABS_RX..ABS_BRAKE)",
        kind.Reason + " (" + std::string(libevdev_get_name(recording.Device.get())) + ")");
  }
  return recording;
}

}  // namespace vorlane::JoystickService::EvdevBackend
