// Text form data: writing a component tree and reading it back.
//
//   object Form1: TMonitorForm
//     object Joystick1: TJoystick
//       EventMode = emPolling
//       Threshold = 100
//       Capabilities.Caption = 'Pad '#233
//       OnMove = Joystick1Move
//     end
//   end
//
// Values:
// - integers in decimal, optionally signed, or in hexadecimal as $FF; a value must
//   lie in its property type's range (no wrap-around);
// - enumerations by element name, booleans as True/False (names match exactly);
// - sets as [a, b] or [] by element names of the set's element type;
// - strings single-quoted, '' for a quote inside. The writer puts printable ASCII
//   between quotes and every other UTF-16 code unit as #NNN (decimal), so the text
//   is plain ASCII and any string, unpaired surrogates included, comes back exactly.
//   The reader also takes UTF-8 typed between quotes, #$HHHH, code points above
//   U+FFFF as #NNNNNN (stored as a surrogate pair), and pieces joined with + across
//   lines: 'first ' + 'second';
// - sub-objects (a stored class-typed property whose object is not a separately
//   owned component) by dotted names: `Capabilities.Caption = 'x'`;
// - events by the name of a published method of the root component, or nil.
//
// Writing: the header line is `object Name: TClass` (`object TClass` when the
// component has no name); the root's Name is in the header, not a property line.
// A property is written when it is stored and either has a default and differs
// from it, or has none (an ordinal always, a string when not empty). An event is
// written when assigned; an assigned handler that is not a published method of
// the root raises EWriteError rather than being dropped. The components the root
// owns are written as nested objects in their creation order.
//
// Reading: the top object's class must be the root's class; each nested object,
// at any depth, is created owned by the root through its class's virtual
// constructor (TClassMembers::Create), looked up with TypInfo::FindClass. A class
// must therefore be registered before its objects are read: declare
//   static const TypInfo::TClassRegistration<TMyComponent> registration;
// in the unit that defines it, or call TypInfo::RegisterClass yourself.
// Limits, so that hostile text ends with an EReadError rather than exhausting
// the stack or memory: at most MaxFormBytes of text (64 MiB) and objects nested
// at most MaxFormDepth (256) deep. The text may start with a UTF-8 byte-order mark;
// lines end with LF, CR LF or CR.
//
// Keywords (object, end, nil) are case-insensitive; class, property, element and
// method names match exactly; component names are unique among the root's
// components, case-insensitively.
#pragma once

#include <string>
#include <string_view>

#include "vorlane/runtime/Classes.hpp"

namespace vorlane::FormData {

inline constexpr std::size_t MaxFormBytes = std::size_t{64} << 20;
inline constexpr int MaxFormDepth = 256;

// Bad form data: says where (1-based line and column, columns counted in
// characters) and what was expected. The message reads
// "line 3, column 12: expected '=' after property name 'Active'".
class EReadError : public System::Exception {
 public:
  EReadError(int line, int column, const System::String& what);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  int GetLine() const { return FLine; }
  int GetColumn() const { return FColumn; }

 private:
  int FLine;
  int FColumn;
};

// A component tree that form data cannot hold: an event handler that is not a
// published method of the root, a value with no name in its type, a property
// that refers to a component owned elsewhere, or a sub-object cycle.
class EWriteError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// The form text of `root` and of every component it owns. A property is written
// when stored and unlike its default, an event when bound to a published method
// of `root`.
std::string WriteComponent(Classes::TComponent* root);

// Reads form text into `root`, whose class must be the text's top class, creating
// the owned components it names (the root takes the name in the top line).
// csLoading is set on every component filled before its first property, each
// property is written through its setter, and after the whole text was read
// Loaded is called on each component read, the created ones in the order of the
// text and the root last (every one is called even when one raises; the first
// exception is then raised again).
//
// When `root` is designed (csDesigning), each created component is made designed
// before its first property is set, so it is never live during the read.
//
// On any failure, an EReadError for bad data or whatever a setter or constructor
// raised (passed on unchanged), the components created by this read are destroyed
// again, Loaded is not called, and the root's csLoading is cleared again if it was
// clear before (CancelLoading). Properties already set on the root stay set.
void ReadComponent(std::string_view text, Classes::TComponent* root);

// The class named by the top line of form text ("object Name: TClass" or "object
// TClass"), to create the root to read into; raises EReadError as ReadComponent
// would for a malformed top line.
std::string ReadTopClassName(std::string_view text);

}  // namespace vorlane::FormData
