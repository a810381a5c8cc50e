// The base of the framework: 16-bit strings, the root class, exceptions and the
// checked class conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::TypInfo {
struct TClassInfo;
}

namespace vorlane::System {

using Integer = std::int32_t;
using Cardinal = std::uint32_t;
using Int64 = std::int64_t;

// The framework's string: UTF-16 code units.
using String = std::u16string;
using StringView = std::u16string_view;

// Decimal text of a number: digits with a leading '-' for negatives, no grouping.
String IntToStr(std::int32_t value);
String IntToStr(std::int64_t value);
String UIntToStr(std::uint64_t value);

// The text held in a fixed array of 16-bit units: everything up to the first zero
// unit, or all maxLength units when there is none.
String StrFromUnits(const char16_t* units, std::size_t maxLength);

// Case folding of names. The framework's names (of properties, components,
// units, packages, resources, enumeration values and keywords) compare without
// regard to ASCII case: 'A' to 'Z' fold to 'a' to 'z' and every other unit is
// compared exactly, so no locale plays a part and letters beyond ASCII must match.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}
// Whether `a` and `b` are the same name: of equal length and equal unit by unit
// after AsciiLower. The mixed form takes each 8-bit unit of `b` as the code point
// 0 to 255, for comparing a String with an ASCII keyword.
bool SameText(std::string_view a, std::string_view b);
bool SameText(StringView a, StringView b);
bool SameText(StringView a, std::string_view b);

// Conversion at the edges (console, files, the C library). Invalid input is
// replaced with U+FFFD rather than rejected, so nothing is silently truncated.
String Utf8ToString(std::string_view utf8);
std::string StringToUtf8(StringView text);

// The root of every framework class. Classes that publish properties, methods or
// message handlers describe themselves with a TClassInfo (see TypInfo.hpp).
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The class description of TObject itself and of the dynamic class of this object.
  static const TypInfo::TClassInfo& StaticClass();
  virtual const TypInfo::TClassInfo& ClassType() const { return StaticClass(); }

  String ClassName() const;
  bool InheritsFrom(const TypInfo::TClassInfo& cls) const;

  // Dispatch by message number: finds the handler for the message's first 32-bit
  // field in this class's message table or an ancestor's; calls DefaultHandler when
  // there is none. `message` points to a record whose first field is the number.
  void Dispatch(void* message);
  virtual void DefaultHandler(void* message);

  // Called by Free just before the object is deleted, while it is still whole.
  // Components mark themselves (and what they own) csDestroying here.
  virtual void BeforeDestruction() {}

  // Deletes the object; safe on nullptr.
  static void Free(TObject* object) {
    if (object == nullptr) return;
    object->BeforeDestruction();
    delete object;
  }
};

// Base of every exception the framework and its packages raise.
class Exception : public TObject, public std::exception {
 public:
  explicit Exception(String message);
  // Exceptions are values: they may be caught and kept by copy.
  Exception(const Exception& other)
      : TObject(), std::exception(other), FMessage(other.FMessage), FUtf8(other.FUtf8) {}
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  const String& GetMessage() const { return FMessage; }
  void SetMessage(String message);
  const char* what() const noexcept override { return FUtf8.c_str(); }

 private:
  String FMessage;
  std::string FUtf8;
};

// Raised by the checked conversion As<T>() when an object is of another class.
class EInvalidCast : public Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// Raised by conversions that cannot be made, among them TPersistent::Assign.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// A file that ReadWholeFile refuses. The message says what the file is, e.g.
// "is a directory", "is a FIFO (named pipe), not a regular file" or
// "is 1073741824 bytes, more than the limit of 67108864 bytes".
class EFileError : public Exception {
 public:
  enum class TKind : std::uint8_t { Unreadable, NotRegular, TooLarge };
  EFileError(TKind kind, const std::string& problem);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  TKind GetKind() const { return FKind; }

 private:
  TKind FKind;
};

// The whole content of the file at `path`, which must be a regular file of at
// most `maxBytes`. Every reader of a file a user names goes through here: the file
// is opened without blocking and without becoming a controlling terminal, and its
// type and size are checked on the opened descriptor before anything is read, so a
// FIFO, a device or a directory is refused at once and memory stays bounded.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes);

[[noreturn]] void RaiseInvalidCast(const TObject* object, const TypInfo::TClassInfo& target);

// --- Units of the framework's libraries -------------------------------------------
//
// Each framework library (and the joystick service) lists its units here when it is
// loaded, under its package name ("vlruntime", "vlvisual", "vldesign", ...), and
// withdraws them when it goes. A package's initialisation table copies the entries
// of the units it uses, so they lead to the routines of the library that holds the
// unit; and the package loader asks which packages are really in the process.
using TUnitProc = void (*)();

// One unit in an initialisation table. A unit's routines count: Init subtracts 1
// from *InitCount, FInit adds 1 (and either may do the unit's work).
struct TUnitEntry {
  const char* Name = "";
  TUnitProc Init = nullptr;
  TUnitProc FInit = nullptr;
  const std::int32_t* InitCount = nullptr;
};

// Lists `units` (which must outlive the registration) under `package`; registering a
// package name again replaces its units. Thread-safe.
void RegisterUnits(const char* package, const TUnitEntry* units, std::size_t count);
void UnregisterUnits(const char* package) noexcept;
// The entry of the unit named `name` (exactly), or nullptr when no loaded library
// holds it.
const TUnitEntry* FindUnit(std::string_view name);
// The names of the packages whose units are listed, in the order they registered.
std::vector<std::string> GetUnitPackages();

// The checked class conversion: returns `object` as T*, raises EInvalidCast when
// it is not a T. nullptr converts to nullptr.
template <class T>
T* As(TObject* object) {
  if (object == nullptr) return nullptr;
  if (auto* result = dynamic_cast<T*>(object)) return result;
  RaiseInvalidCast(object, T::StaticClass());
}

}  // namespace vorlane::System
