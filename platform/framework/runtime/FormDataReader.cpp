// Reading text form data into a component tree.
#include <exception>
#include <optional>
#include <unordered_set>
#include <vector>

#include "vorlane/runtime/FormData.hpp"

namespace vorlane::FormData {

using Classes::TComponent;
using System::SameText;
using System::String;
using System::TObject;
using System::Utf8ToString;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

EReadError::EReadError(int line, int column, const String& what)
    : Exception(u"line " + System::IntToStr(line) + u", column " + System::IntToStr(column) +
                u": " + what),
      FLine(line),
      FColumn(column) {}

const TypInfo::TClassInfo& EReadError::StaticClass() {
  static const TypInfo::TClassInfo info("EReadError", &System::Exception::StaticClass());
  return info;
}

namespace {

enum class TTokenKind { End, Identifier, Integer, String, Symbol };

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  int Line = 1;
  int Column = 1;
  std::string_view Text;      // identifiers and symbols as written
  std::uint64_t Integer = 0;  // integers: the magnitude
  String Value;               // strings: the decoded text
};

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || IsDigit(c);
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

String U(std::string_view utf8) {
  return Utf8ToString(utf8);
}

class TLexer {
 public:
  explicit TLexer(std::string_view text) : FText(text) {
    if (FText.starts_with("\xEF\xBB\xBF")) FPos = 3;  // a UTF-8 byte-order mark
  }

  TToken Next() {
    SkipBlanks();
    TToken t;
    t.Line = FLine;
    t.Column = FColumn;
    if (FPos >= FText.size()) return t;
    const std::size_t start = FPos;
    const char c = FText[FPos];
    if (IsIdentStart(c)) {
      while (FPos < FText.size() && IsIdentChar(FText[FPos])) Advance();
      t.Kind = TTokenKind::Identifier;
      t.Text = FText.substr(start, FPos - start);
    } else if (IsDigit(c) || c == '$') {
      t.Kind = TTokenKind::Integer;
      t.Integer = ReadNumber(t);
      t.Text = FText.substr(start, FPos - start);
    } else if (c == '\'' || c == '#') {
      t.Kind = TTokenKind::String;
      t.Value = ReadString(t);
    } else if (std::string_view("=:[],.+-").find(c) != std::string_view::npos) {
      Advance();
      t.Kind = TTokenKind::Symbol;
      t.Text = FText.substr(start, 1);
    } else {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x21 && byte < 0x7F)
        Fail(t, u"unexpected character '" + String(1, static_cast<char16_t>(c)) + u"'");
      if (byte >= 0x80) {
        const std::size_t length = Utf8Length(FText.substr(FPos));
        if (length == 0)
          Fail(t, u"invalid UTF-8 (byte " + System::IntToStr(static_cast<int>(byte)) + u")");
        Fail(t, u"unexpected character '" + U(FText.substr(FPos, length)) +
                    u"': names are ASCII letters, digits and '_'");
      }
      Fail(t, u"unexpected character (byte " + System::IntToStr(static_cast<int>(byte)) + u")");
    }
    return t;
  }

  [[noreturn]] static void Fail(const TToken& at, const String& what) {
    throw EReadError(at.Line, at.Column, what);
  }

 private:
  // The byte count of the well-formed UTF-8 sequence `text` starts with, or 0.
  static std::size_t Utf8Length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
    std::uint32_t cp = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto b = static_cast<unsigned char>(text[i]);
      if ((b & 0xC0) != 0x80) return 0;
      cp = cp << 6 | (b & 0x3F);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
  }

  // Lines end with LF, CR LF or a lone CR.
  void Advance() {
    const char c = FText[FPos++];
    if (c == '\n' || (c == '\r' && (FPos >= FText.size() || FText[FPos] != '\n'))) {
      ++FLine;
      FColumn = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++FColumn;  // columns count characters, not UTF-8 continuation bytes
    }
  }

  void SkipBlanks() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
      Advance();
    }
  }

  TToken Here() const {
    TToken t;
    t.Line = FLine;
    t.Column = FColumn;
    return t;
  }

  // Decimal digits or $ and hexadecimal digits; the magnitude must fit 64 bits.
  std::uint64_t ReadNumber(const TToken& at) {
    std::uint64_t value = 0;
    bool overflow = false;
    int digits = 0;
    if (FText[FPos] == '$') {
      Advance();
      while (FPos < FText.size() && HexValue(FText[FPos]) >= 0) {
        if (value >> 60 != 0) overflow = true;
        value = value << 4 | static_cast<std::uint64_t>(HexValue(FText[FPos]));
        ++digits;
        Advance();
      }
      if (digits == 0) Fail(at, u"expected hexadecimal digits after '$'");
    } else {
      while (FPos < FText.size() && IsDigit(FText[FPos])) {
        const auto d = static_cast<std::uint64_t>(FText[FPos] - '0');
        if (value > (UINT64_MAX - d) / 10) overflow = true;
        value = value * 10 + d;
        Advance();
      }
    }
    if (FPos < FText.size() && IsIdentChar(FText[FPos]))
      Fail(Here(), u"unexpected character '" + String(1, static_cast<char16_t>(FText[FPos])) +
                       u"' in a number");
    if (overflow) Fail(at, u"number too large");
    return value;
  }

  // Quoted pieces and #NNN characters written without blanks between them.
  String ReadString(const TToken& at) {
    String value;
    while (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#')) {
      if (FText[FPos] == '\'') {
        Advance();
        std::size_t run = FPos;  // start of the UTF-8 text not yet copied
        for (;;) {
          if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r')
            Fail(at, u"unterminated string: expected a closing quote on the same line");
          if (FText[FPos] == '\'') {
            value += Utf8ToString(FText.substr(run, FPos - run));
            Advance();
            if (FPos < FText.size() && FText[FPos] == '\'') {
              run = FPos;  // '' stands for one quote: keep the second one
              Advance();
              continue;
            }
            break;
          }
          Advance();
        }
      } else {
        const TToken hash = Here();
        Advance();
        if (FPos >= FText.size() || !(IsDigit(FText[FPos]) || FText[FPos] == '$'))
          Fail(hash, u"expected a character code after '#'");
        const std::uint64_t code = ReadNumber(hash);
        if (code > 0x10FFFF)
          Fail(hash, u"character code " + System::UIntToStr(code) +
                         u" is above the largest, 1114111 ($10FFFF)");
        if (code < 0x10000) {
          value.push_back(static_cast<char16_t>(code));
        } else {
          const auto cp = static_cast<std::uint32_t>(code - 0x10000);
          value.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
          value.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
      }
    }
    return value;
  }

  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;
  int FColumn = 1;
};

String DescribeToken(const TToken& t) {
  switch (t.Kind) {
    case TTokenKind::End:
      return u"the end of the text";
    case TTokenKind::Identifier:
      return u"'" + U(t.Text) + u"'";
    case TTokenKind::Integer:
      return u"the number " + U(t.Text);
    case TTokenKind::String:
      return u"a string";
    case TTokenKind::Symbol:
      return u"'" + U(t.Text) + u"'";
  }
  return u"?";
}

String EnumNames(const TypInfo::TTypeInfo* type) {
  String names;
  for (std::int64_t v = type->Data.MinValue; v <= type->Data.MaxValue; ++v) {
    if (!names.empty()) names += u", ";
    names += U(TypInfo::GetEnumName(type, v));
  }
  return names;
}

int SetCapacity(TypInfo::TOrdType ordType) {
  switch (ordType) {
    case TypInfo::TOrdType::otSByte:
    case TypInfo::TOrdType::otUByte:
      return 8;
    case TypInfo::TOrdType::otSWord:
    case TypInfo::TOrdType::otUWord:
      return 16;
    default:
      return 32;
  }
}

class TReader {
 public:
  TReader(std::string_view text, TComponent* root) : FLexer(text), FRoot(root) {}

  void Run() {
    const bool rootWasLoading = FRoot->GetComponentState().Contains(Classes::csLoading);
    try {
      Advance();
      ReadObject(nullptr);
      if (FToken.Kind != TTokenKind::End)
        Fail(u"expected the end of the text after the last 'end', found " + DescribeToken(FToken));
    } catch (...) {
      DestroyCreated();
      if (!rootWasLoading) FRoot->CancelLoading();
      throw;
    }
    std::exception_ptr first;
    for (TComponent* c : FCreated) CallLoaded(c, first);
    CallLoaded(FRoot, first);
    if (first) std::rethrow_exception(first);
  }

 private:
  static void CallLoaded(TComponent* c, std::exception_ptr& first) {
    try {
      c->Loaded();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }

  // Last created first; a component that is no longer the root's (a setter may
  // have destroyed it) is left alone.
  // The root's components are collected again only when destroying one took others
  // with it, so that undoing a large read stays linear.
  void DestroyCreated() {
    std::unordered_set<const TComponent*> owned;
    auto collect = [&] {
      owned.clear();
      for (int i = 0; i < FRoot->GetComponentCount(); ++i) owned.insert(FRoot->GetComponents(i));
    };
    collect();
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) {
      if (owned.erase(*it) == 0) continue;
      const int before = FRoot->GetComponentCount();
      TObject::Free(*it);
      if (FRoot->GetComponentCount() != before - 1) collect();
    }
    FCreated.clear();
  }

  void Advance() { FToken = FLexer.Next(); }
  [[noreturn]] void Fail(const String& what) const { TLexer::Fail(FToken, what); }
  [[noreturn]] static void FailAt(const TToken& at, const String& what) { TLexer::Fail(at, what); }

  bool IsKeyword(std::string_view word) const {
    return FToken.Kind == TTokenKind::Identifier && SameText(FToken.Text, word);
  }
  bool IsSymbol(char c) const { return FToken.Kind == TTokenKind::Symbol && FToken.Text[0] == c; }

  // A name; the keywords object and end are not names.
  TToken ExpectIdentifier(const String& what) {
    if (FToken.Kind != TTokenKind::Identifier || IsKeyword("object") || IsKeyword("end"))
      Fail(u"expected " + what + u", found " + DescribeToken(FToken));
    TToken t = FToken;
    Advance();
    return t;
  }

  // `parent` is the object this one is nested in (nullptr for the top one). Objects
  // nest at most MaxFormDepth deep, which bounds the recursion.
  void ReadObject(const TComponent* parent) {
    const bool isRoot = parent == nullptr;
    if (!IsKeyword("object")) Fail(u"expected 'object', found " + DescribeToken(FToken));
    if (FDepth == MaxFormDepth)
      Fail(u"objects nested more than " + System::IntToStr(MaxFormDepth) + u" deep");
    ++FDepth;
    Advance();
    TToken name = ExpectIdentifier(u"a component name or class name after 'object'");
    TToken cls = name;
    if (IsSymbol(':')) {
      Advance();
      cls = ExpectIdentifier(u"a class name after ':'");
    } else {
      name = TToken{};  // `object TClass`: an unnamed component
    }
    const String componentName = U(name.Text);
    TComponent* instance;
    if (isRoot) {
      const std::string_view rootClass = FRoot->ClassType().Name;
      if (cls.Text != rootClass)
        FailAt(cls, u"the form data is for class " + U(cls.Text) +
                        u", but the component being read is a " + U(rootClass));
      instance = FRoot;
      instance->BeginLoading();
      if (!componentName.empty() && componentName != FRoot->GetName())
        FRoot->SetName(componentName);
    } else {
      if (!componentName.empty() && FRoot->FindComponent(componentName) != nullptr)
        FailAt(name, u"duplicate component name '" + componentName + u"'");
      const TypInfo::TClassInfo* info = TypInfo::FindClass(cls.Text);
      if (info == nullptr)
        FailAt(cls, u"unknown class " + U(cls.Text) + u" (no class of that name is registered)");
      if (info->Members.Create == nullptr)
        FailAt(cls, u"class " + U(cls.Text) + u" is not a component class");
      instance = info->Members.Create(FRoot);
      if (instance == nullptr) FailAt(cls, u"class " + U(cls.Text) + u" created no component");
      FCreated.push_back(instance);
      if (&instance->ClassType() != info)
        FailAt(cls,
               u"the constructor of class " + U(cls.Text) + u" made a " + instance->ClassName());
      // A form read while it is designed is designed as a whole: its components
      // are never live, not even while their properties are set.
      if (FRoot->GetComponentState().Contains(Classes::csDesigning)) instance->SetDesigning(true);
      instance->BeginLoading();
      if (!componentName.empty()) instance->SetName(componentName);
    }
    for (;;) {
      if (IsKeyword("end")) {
        Advance();
        --FDepth;
        return;
      }
      if (IsKeyword("object")) {
        ReadObject(instance);
      } else if (FToken.Kind == TTokenKind::Identifier) {
        ReadProperty(instance);
      } else {
        Fail(u"expected a property name, 'object' or 'end', found " + DescribeToken(FToken));
      }
    }
  }

  void ReadProperty(TComponent* component) {
    std::vector<TToken> parts{FToken};
    Advance();
    while (IsSymbol('.')) {
      Advance();
      parts.push_back(ExpectIdentifier(u"a property name after '.'"));
    }
    String fullName;
    for (const TToken& p : parts) fullName += (fullName.empty() ? u"" : u".") + U(p.Text);
    if (!IsSymbol('=')) Fail(u"expected '=' after property name '" + fullName + u"'");
    Advance();

    TObject* object = component;
    String path;
    for (std::size_t i = 0;; ++i) {
      const TToken& part = parts[i];
      const TPropInfo* prop = TypInfo::GetPropInfo(object->ClassType(), part.Text);
      const String partName = path + U(part.Text);
      if (prop == nullptr)
        FailAt(part, u"class " + object->ClassName() + u" has no published property '" +
                         U(part.Text) + u"'");
      if (i + 1 == parts.size()) {
        ReadValue(object, prop, partName);
        return;
      }
      if (prop->PropType->Kind != TTypeKind::tkClass || prop->GetObj == nullptr)
        FailAt(part, u"property '" + partName + u"' is not an object, so '" + fullName +
                         u"' cannot be set");
      TObject* sub = prop->GetObj(object);
      if (sub == nullptr)
        FailAt(part, u"property '" + partName + u"' holds no object, so '" + fullName +
                         u"' cannot be set");
      object = sub;
      path = partName + u".";
    }
  }

  void ReadValue(TObject* object, const TPropInfo* prop, const String& name) {
    const TypInfo::TTypeInfo* type = prop->PropType;
    const String typeName = U(type->Name);
    const TToken at = FToken;
    switch (type->Kind) {
      case TTypeKind::tkInteger: {
        const std::int64_t value = ReadInteger(name, typeName);
        if (value < type->Data.MinValue || value > type->Data.MaxValue)
          FailAt(at, u"value " + System::IntToStr(value) + u" is out of range for property '" +
                         name + u"' (" + typeName + u": " + System::IntToStr(type->Data.MinValue) +
                         u".." + System::IntToStr(type->Data.MaxValue) + u")");
        RequireSetter(at, prop->SetOrd != nullptr, name);
        prop->SetOrd(object, value);
        return;
      }
      case TTypeKind::tkEnumeration: {
        if (FToken.Kind != TTokenKind::Identifier)
          Fail(u"expected one of " + EnumNames(type) + u" for property '" + name + u"', found " +
               DescribeToken(FToken));
        const std::int64_t value = TypInfo::GetEnumValue(type, FToken.Text);
        if (value < 0)
          Fail(u"unknown value '" + U(FToken.Text) + u"' for property '" + name + u"' (" +
               typeName + u"): expected one of " + EnumNames(type));
        Advance();
        RequireSetter(at, prop->SetOrd != nullptr, name);
        prop->SetOrd(object, value);
        return;
      }
      case TTypeKind::tkSet: {
        const std::int64_t value = ReadSet(type, name);
        RequireSetter(at, prop->SetOrd != nullptr, name);
        prop->SetOrd(object, value);
        return;
      }
      case TTypeKind::tkUString: {
        if (FToken.Kind != TTokenKind::String)
          Fail(u"expected a quoted string for property '" + name + u"', found " +
               DescribeToken(FToken));
        String value = std::move(FToken.Value);
        Advance();
        while (IsSymbol('+')) {
          Advance();
          if (FToken.Kind != TTokenKind::String)
            Fail(u"expected a quoted string after '+', found " + DescribeToken(FToken));
          value += FToken.Value;
          Advance();
        }
        RequireSetter(at, prop->SetStr != nullptr, name);
        prop->SetStr(object, value);
        return;
      }
      case TTypeKind::tkMethod: {
        if (FToken.Kind != TTokenKind::Identifier)
          Fail(u"expected a method name for event '" + name + u"', found " + DescribeToken(FToken));
        RequireSetter(at, prop->SetMethod != nullptr, name);
        if (SameText(FToken.Text, "nil")) {
          Advance();
          prop->SetMethod(object, {});
          return;
        }
        const TypInfo::TMethodInfo* method = TypInfo::FindMethod(FRoot->ClassType(), FToken.Text);
        if (method == nullptr)
          Fail(u"unknown method '" + U(FToken.Text) + u"' for event '" + name + u"': " +
               FRoot->ClassName() + u" has no published method of that name");
        if (method->Signature != type->Data.Signature)
          Fail(u"method '" + U(FToken.Text) + u"' does not match event '" + name + u"' (" +
               typeName + u"): its parameters differ");
        Advance();
        prop->SetMethod(object, method->Bind(FRoot));
        return;
      }
      case TTypeKind::tkClass:
        Fail(u"property '" + name + u"' is an object: set its properties as '" + name +
             u".Property = value'");
      default:
        Fail(u"property '" + name + u"' has the type " + typeName +
             u", which form data cannot hold");
    }
  }

  static void RequireSetter(const TToken& at, bool present, const String& name) {
    if (!present) FailAt(at, u"property '" + name + u"' is read-only");
  }

  std::int64_t ReadInteger(const String& name, const String& typeName) {
    const TToken at = FToken;
    bool negative = false;
    if (IsSymbol('-') || IsSymbol('+')) {
      negative = FToken.Text[0] == '-';
      Advance();
    }
    if (FToken.Kind != TTokenKind::Integer)
      Fail(u"expected an integer for property '" + name + u"' (" + typeName + u"), found " +
           DescribeToken(FToken));
    const std::uint64_t magnitude = FToken.Integer;
    constexpr auto kMax = static_cast<std::uint64_t>(INT64_MAX);
    if (magnitude > kMax + (negative ? 1u : 0u)) FailAt(at, u"number too large");
    Advance();
    if (!negative) return static_cast<std::int64_t>(magnitude);
    return magnitude == kMax + 1 ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
  }

  std::int64_t ReadSet(const TypInfo::TTypeInfo* type, const String& name) {
    if (!IsSymbol('['))
      Fail(u"expected '[' to begin the set value of property '" + name + u"', found " +
           DescribeToken(FToken));
    Advance();
    const TypInfo::TTypeInfo* element = type->Data.CompType;
    const int capacity = SetCapacity(type->Data.OrdType);
    std::uint64_t bits = 0;
    if (IsSymbol(']')) {
      Advance();
      return 0;
    }
    for (;;) {
      if (FToken.Kind != TTokenKind::Identifier)
        Fail(u"expected an element of " + U(element != nullptr ? element->Name : "?") +
             u" in the set value of property '" + name + u"', found " + DescribeToken(FToken));
      const std::int64_t value = TypInfo::GetEnumValue(element, FToken.Text);
      if (value < 0 || value >= capacity)
        Fail(u"'" + U(FToken.Text) + u"' is not an element of " + U(type->Name) + u" (property '" +
             name + u"')");
      bits |= std::uint64_t{1} << value;
      Advance();
      if (IsSymbol(']')) {
        Advance();
        return static_cast<std::int64_t>(bits);
      }
      if (!IsSymbol(','))
        Fail(u"expected ',' or ']' in the set value of property '" + name + u"', found " +
             DescribeToken(FToken));
      Advance();
    }
  }

  TLexer FLexer;
  TToken FToken;
  TComponent* FRoot;
  std::vector<TComponent*> FCreated;
  int FDepth = 0;
};

}  // namespace

namespace {

void CheckSize(std::string_view text) {
  if (text.size() > MaxFormBytes)
    throw EReadError(1, 1,
                     u"the form text is " + System::UIntToStr(text.size()) +
                         u" bytes, more than the " + System::UIntToStr(MaxFormBytes) +
                         u" bytes (64 MiB) form data may hold");
}

}  // namespace

void ReadComponent(std::string_view text, TComponent* root) {
  if (root == nullptr) throw EReadError(1, 1, u"no component to read into");
  CheckSize(text);
  TReader(text, root).Run();
}

std::string ReadTopClassName(std::string_view text) {
  CheckSize(text);
  TLexer lexer(text);
  TToken token = lexer.Next();
  if (token.Kind != TTokenKind::Identifier || !SameText(token.Text, "object"))
    TLexer::Fail(token, u"expected 'object', found " + DescribeToken(token));
  auto identifier = [&](const String& what) {
    token = lexer.Next();
    if (token.Kind != TTokenKind::Identifier || SameText(token.Text, "object") ||
        SameText(token.Text, "end"))
      TLexer::Fail(token, u"expected " + what + u", found " + DescribeToken(token));
    return std::string(token.Text);
  };
  std::string name = identifier(u"a component name or class name after 'object'");
  token = lexer.Next();
  if (token.Kind != TTokenKind::Symbol || token.Text != ":") return name;
  std::string cls = identifier(u"a class name after ':'");
  lexer.Next();  // a class name must end where a token can follow it
  return cls;
}

}  // namespace vorlane::FormData
