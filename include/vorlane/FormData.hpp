// Text form data: writing a component tree and reading it back.
//
//   object Form1: TMonitorForm
//     object Joystick1: TJoystick
//       EventMode = emPolling
//       Threshold = 100
//       OnMove = Joystick1Move
//     end
//   end
//
// Enumerations and sets by element name (`PressedButtons = [joButton1, joButton2]`),
// booleans as True/False, strings single-quoted with '' for a quote and #NNN for
// other code units, sub-objects by dotted names (`Font.Size = 8`), events by the
// name of a published method of the root component.
#pragma once

#include <string>
#include <string_view>

#include "vorlane/Classes.hpp"

namespace vorlane::FormData {

// Bad form data: says where (1-based line and column) and what was expected.
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

// The form text of `root` and of every component it owns. A property is written
// when stored and unlike its default, an event when bound to a published method
// of `root`.
std::string WriteComponent(Classes::TComponent* root);

// Reads form text into `root`, whose class must be the text's top class, creating
// the owned components it names. csLoading is set on every component filled, each
// property is written through its setter, and Loaded is called on each after the
// whole text was read. On EReadError the components created by this read are
// destroyed again.
void ReadComponent(std::string_view text, Classes::TComponent* root);

}  // namespace vorlane::FormData
