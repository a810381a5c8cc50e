// A small streaming JSON writer: objects, arrays, keys, numbers, booleans and
// strings (UTF-8 out, escaped as RFC 8259 requires). Compact by default; pretty
// with two-space indentation on request, arrays and inline objects on one line.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/runtime/System.hpp"

namespace vorlane::JoyMon {

class TJsonWriter {
 public:
  explicit TJsonWriter(bool pretty = false) : FPretty(pretty) {}

  TJsonWriter& BeginObject();
  // An object kept on one line even when pretty (small ones, like errors).
  TJsonWriter& BeginInlineObject();
  TJsonWriter& EndObject();
  TJsonWriter& BeginArray();
  TJsonWriter& EndArray();
  // The key of the next value; only inside an object.
  TJsonWriter& Key(std::string_view key);

  TJsonWriter& Value(std::int64_t number);
  template <std::integral T>
  requires(!std::same_as<T, bool>) TJsonWriter& Value(T number) {
    return Value(static_cast<std::int64_t>(number));
  }
  TJsonWriter& Value(double number);
  TJsonWriter& Value(bool value);
  TJsonWriter& Value(std::string_view utf8);
  TJsonWriter& Value(const char* utf8) { return Value(std::string_view(utf8)); }
  TJsonWriter& Value(System::StringView text);
  TJsonWriter& Null();

  // The text written so far; complete once every object and array is closed.
  const std::string& Text() const { return FText; }
  bool Complete() const { return FStack.empty() && FHasRoot; }

 private:
  enum class TScope : std::uint8_t { Object, Array };
  TJsonWriter& Open(TScope scope, char bracket, bool inlined);
  void BeforeValue();
  void Newline();
  void AppendString(std::string_view utf8);

  bool FPretty;
  bool FHasRoot = false;
  bool FAfterKey = false;
  std::string FText;
  std::vector<TScope> FStack;
  std::vector<bool> FFirst;  // per open scope: nothing written in it yet
  int FInline = 0;           // how many open scopes stay on one line
};

}  // namespace vorlane::JoyMon
