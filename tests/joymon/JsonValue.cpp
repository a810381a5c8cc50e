#include "JsonValue.hpp"

#include <cmath>
#include <cstdlib>

namespace vorlane::JoyMon::testing {

namespace {

class TParser {
 public:
  explicit TParser(std::string_view text) : FText(text) {}

  TJson Document() {
    TJson value = Value();
    Space();
    if (FAt != FText.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(FAt));
  }
  void Space() {
    while (FAt < FText.size() &&
           (FText[FAt] == ' ' || FText[FAt] == '\n' || FText[FAt] == '\r' || FText[FAt] == '\t'))
      ++FAt;
  }
  bool Take(char c) {
    Space();
    if (FAt < FText.size() && FText[FAt] == c) {
      ++FAt;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail(std::string("expected '") + c + "'");
  }
  bool Word(std::string_view word) {
    if (FText.substr(FAt, word.size()) != word) return false;
    FAt += word.size();
    return true;
  }

  TJson Value() {
    Space();
    if (FAt >= FText.size()) Fail("unexpected end");
    TJson v;
    const char c = FText[FAt];
    if (c == '{') {
      ++FAt;
      v.Kind = TJson::TKind::Object;
      if (Take('}')) return v;
      do {
        Space();
        std::string key = String();
        Expect(':');
        if (v.Object.count(key)) Fail("duplicate key \"" + key + "\"");
        v.Keys.push_back(key);
        v.Object.emplace(key, Value());
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++FAt;
      v.Kind = TJson::TKind::Array;
      if (Take(']')) return v;
      do v.Array.push_back(Value());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      v.Kind = TJson::TKind::String;
      v.String = String();
    } else if (Word("true")) {
      v.Kind = TJson::TKind::Bool;
      v.Bool = true;
    } else if (Word("false")) {
      v.Kind = TJson::TKind::Bool;
    } else if (Word("null")) {
    } else {
      v.Kind = TJson::TKind::Number;
      v.Number = Number();
    }
    return v;
  }

  double Number() {
    const std::size_t start = FAt;
    if (FAt < FText.size() && FText[FAt] == '-') ++FAt;
    auto digits = [&] {
      const std::size_t from = FAt;
      while (FAt < FText.size() && FText[FAt] >= '0' && FText[FAt] <= '9') ++FAt;
      if (FAt == from) Fail("expected a digit");
    };
    digits();
    if (FAt < FText.size() && FText[FAt] == '.') {
      ++FAt;
      digits();
    }
    if (FAt < FText.size() && (FText[FAt] == 'e' || FText[FAt] == 'E')) {
      ++FAt;
      if (FAt < FText.size() && (FText[FAt] == '+' || FText[FAt] == '-')) ++FAt;
      digits();
    }
    return std::strtod(std::string(FText.substr(start, FAt - start)).c_str(), nullptr);
  }

  std::string String() {
    if (FAt >= FText.size() || FText[FAt] != '"') Fail("expected a string");
    ++FAt;
    std::string out;
    for (;;) {
      if (FAt >= FText.size()) Fail("unterminated string");
      const char c = FText[FAt++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (FAt >= FText.size()) Fail("unterminated escape");
      const char e = FText[FAt++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          if (FAt + 4 > FText.size()) Fail("short \\u escape");
          const unsigned code = std::stoul(std::string(FText.substr(FAt, 4)), nullptr, 16);
          FAt += 4;
          if (code >= 0x80) Fail("only ASCII \\u escapes are expected here");
          out += static_cast<char>(code);
          break;
        }
        default:
          Fail("bad escape");
      }
    }
  }

  std::string_view FText;
  std::size_t FAt = 0;
};

}  // namespace

TJson ParseJson(std::string_view text) {
  return TParser(text).Document();
}

}  // namespace vorlane::JoyMon::testing
