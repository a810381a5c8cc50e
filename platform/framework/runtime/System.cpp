// The root class, exceptions, number texts and UTF-8 conversion.
#include "vorlane/runtime/System.hpp"

#include <charconv>
#include <cstring>

#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::System {

namespace {

template <class N>
String DecimalText(N value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return String(buffer, result.ptr);
}

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(String& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

String IntToStr(std::int32_t value) {
  return DecimalText(value);
}
String IntToStr(std::int64_t value) {
  return DecimalText(value);
}
String UIntToStr(std::uint64_t value) {
  return DecimalText(value);
}

String StrFromUnits(const char16_t* units, std::size_t maxLength) {
  if (units == nullptr) return String();
  std::size_t length = 0;
  while (length < maxLength && units[length] != 0) ++length;
  return String(units, length);
}

namespace {

// An 8-bit unit as the code point 0 to 255; a 16-bit unit as it is.
char16_t Unit(char c) {
  return static_cast<unsigned char>(c);
}
char16_t Unit(char16_t c) {
  return c;
}

template <class A, class B>
bool SameUnitsFolded(std::basic_string_view<A> a, std::basic_string_view<B> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(Unit(a[i])) != AsciiLower(Unit(b[i]))) return false;
  return true;
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  return SameUnitsFolded(a, b);
}
bool SameText(StringView a, StringView b) {
  return SameUnitsFolded(a, b);
}
bool SameText(StringView a, std::string_view b) {
  return SameUnitsFolded(a, b);
}

// Well-formed UTF-8 as in the Unicode standard (no overlong forms, no surrogates,
// nothing above U+10FFFF). Each maximal ill-formed subsequence becomes one U+FFFD.
String Utf8ToString(std::string_view utf8) {
  String out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  const std::size_t n = utf8.size();
  while (i < n) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    int trail;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the first trail byte
    char32_t cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      cp = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      cp = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }
    ++i;
    bool ok = true;
    for (int k = 0; k < trail; ++k) {
      if (i >= n) {
        ok = false;
        break;
      }
      const auto b = static_cast<unsigned char>(utf8[i]);
      if (b < low || b > high) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
      ++i;
      low = 0x80;
      high = 0xBF;
    }
    AppendUtf16(out, ok ? cp : kReplacement);
  }
  return out;
}

// Unpaired surrogates become U+FFFD.
std::string StringToUtf8(StringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

// --- TObject ----------------------------------------------------------------

const TypInfo::TClassInfo& TObject::StaticClass() {
  static const TypInfo::TClassInfo info("TObject", nullptr);
  return info;
}

String TObject::ClassName() const {
  return Utf8ToString(ClassType().Name);
}

bool TObject::InheritsFrom(const TypInfo::TClassInfo& cls) const {
  return ClassType().InheritsFrom(cls);
}

void TObject::Dispatch(void* message) {
  std::uint32_t number;
  std::memcpy(&number, message, sizeof number);
  for (const TypInfo::TClassInfo* c = &ClassType(); c != nullptr; c = c->Parent) {
    for (const TypInfo::TMessageEntry& entry : c->Members.Messages) {
      if (entry.Msg == number && entry.Handler != nullptr) {
        entry.Handler(this, message);
        return;
      }
    }
  }
  DefaultHandler(message);
}

void TObject::DefaultHandler(void*) {}

// --- Exceptions ---------------------------------------------------------------

Exception::Exception(String message)
    : FMessage(std::move(message)), FUtf8(StringToUtf8(FMessage)) {}

void Exception::SetMessage(String message) {
  std::string utf8 = StringToUtf8(message);
  FMessage = std::move(message);
  FUtf8 = std::move(utf8);
}

const TypInfo::TClassInfo& Exception::StaticClass() {
  static const TypInfo::TClassInfo info("Exception", &TObject::StaticClass());
  return info;
}

const TypInfo::TClassInfo& EInvalidCast::StaticClass() {
  static const TypInfo::TClassInfo info("EInvalidCast", &Exception::StaticClass());
  return info;
}

const TypInfo::TClassInfo& EConvertError::StaticClass() {
  static const TypInfo::TClassInfo info("EConvertError", &Exception::StaticClass());
  return info;
}

void RaiseInvalidCast(const TObject* object, const TypInfo::TClassInfo& target) {
  String text = u"Invalid class typecast: ";
  if (object != nullptr)
    text += u"an object of class " + object->ClassName();
  else
    text += u"nil";
  text += u" is not a " + Utf8ToString(target.Name) + u".";
  throw EInvalidCast(std::move(text));
}

}  // namespace vorlane::System
