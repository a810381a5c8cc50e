#include "Json.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vorlane::JoyMon {

namespace {
// Misuse of the writer is a bug in joymon, never a user error.
[[noreturn]] void Misuse(const char* what) {
  throw System::Exception(System::Utf8ToString(std::string("JSON writer: ") + what));
}
}  // namespace

void TJsonWriter::Newline() {
  if (!FPretty) return;
  if (FInline > 0) {
    // One line: "{ "a": 1, "b": 2 }" and "["x", "y"]".
    if (!FStack.empty() && (FStack.back() == TScope::Object || FText.back() == ',')) FText += ' ';
    return;
  }
  FText += '\n';
  FText.append(FStack.size() * 2, ' ');
}

void TJsonWriter::BeforeValue() {
  if (FAfterKey) {
    FAfterKey = false;
    return;
  }
  if (FStack.empty()) {
    if (FHasRoot) Misuse("a second top-level value");
    FHasRoot = true;
    return;
  }
  if (FStack.back() == TScope::Object) Misuse("a value in an object without a key");
  if (!FFirst.back()) FText += ',';
  FFirst.back() = false;
  Newline();
}

TJsonWriter& TJsonWriter::Key(std::string_view key) {
  if (FStack.empty() || FStack.back() != TScope::Object || FAfterKey) Misuse("a misplaced key");
  if (!FFirst.back()) FText += ',';
  FFirst.back() = false;
  Newline();
  AppendString(key);
  FText += FPretty ? ": " : ":";
  FAfterKey = true;
  return *this;
}

TJsonWriter& TJsonWriter::Open(TScope scope, char bracket, bool inlined) {
  BeforeValue();
  FText += bracket;
  FStack.push_back(scope);
  FFirst.push_back(true);
  if (inlined || FInline > 0) ++FInline;
  return *this;
}

TJsonWriter& TJsonWriter::BeginObject() {
  return Open(TScope::Object, '{', false);
}
TJsonWriter& TJsonWriter::BeginInlineObject() {
  return Open(TScope::Object, '{', true);
}
// Arrays hold names here: short enough for one line.
TJsonWriter& TJsonWriter::BeginArray() {
  return Open(TScope::Array, '[', true);
}

TJsonWriter& TJsonWriter::EndObject() {
  if (FStack.empty() || FStack.back() != TScope::Object || FAfterKey) Misuse("an unmatched '}'");
  const bool empty = FFirst.back();
  const bool inlined = FInline > 0;
  FStack.pop_back();
  FFirst.pop_back();
  if (inlined) {
    --FInline;
    if (!empty && FPretty) FText += ' ';
  } else if (!empty) {
    Newline();
  }
  FText += '}';
  return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
  if (FStack.empty() || FStack.back() != TScope::Array) Misuse("an unmatched ']'");
  FStack.pop_back();
  FFirst.pop_back();
  --FInline;
  FText += ']';
  return *this;
}

TJsonWriter& TJsonWriter::Value(std::int64_t number) {
  BeforeValue();
  FText += std::to_string(number);
  return *this;
}

TJsonWriter& TJsonWriter::Value(double number) {
  BeforeValue();
  if (!std::isfinite(number)) {
    FText += "null";  // JSON has no NaN or infinity
    return *this;
  }
  // The shortest text that reads back as the same number.
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
  FText.append(buffer, ec == std::errc() ? end : buffer);
  return *this;
}

TJsonWriter& TJsonWriter::Value(bool value) {
  BeforeValue();
  FText += value ? "true" : "false";
  return *this;
}

TJsonWriter& TJsonWriter::Value(std::string_view utf8) {
  BeforeValue();
  AppendString(utf8);
  return *this;
}

TJsonWriter& TJsonWriter::Value(System::StringView text) {
  return Value(std::string_view(System::StringToUtf8(text)));
}

TJsonWriter& TJsonWriter::Null() {
  BeforeValue();
  FText += "null";
  return *this;
}

void TJsonWriter::AppendString(std::string_view utf8) {
  FText += '"';
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        FText += "\\\"";
        break;
      case '\\':
        FText += "\\\\";
        break;
      case '\n':
        FText += "\\n";
        break;
      case '\r':
        FText += "\\r";
        break;
      case '\t':
        FText += "\\t";
        break;
      case '\b':
        FText += "\\b";
        break;
      case '\f':
        FText += "\\f";
        break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          FText += buffer;
        } else {
          FText += static_cast<char>(c);
        }
    }
  }
  FText += '"';
}

}  // namespace vorlane::JoyMon
