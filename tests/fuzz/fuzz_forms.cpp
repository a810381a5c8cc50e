// libFuzzer harness for the form reader: any input either reads into a designed
// root (TJoystick components included) or is refused with an EReadError that names
// a line and column inside the text; nothing else may happen (no crash, leak,
// undefined behaviour, stack exhaustion or other exception). What was read must
// write back and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickDesign.hpp"
#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/FormData.hpp"

using namespace vorlane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = (JoystickDesign::Register(), true);
  (void)registered;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 1;
  for (char c : text) lines += c == '\n' || c == '\r';
  Classes::TComponent* root = new Joystick::TJoystick(nullptr);
  root->SetDesigning(true);
  try {
    FormData::ReadComponent(text, root);
    for (int i = 0; i < root->GetComponentCount(); ++i)
      if (!root->GetComponents(i)->GetComponentState().Contains(Classes::csDesigning))
        std::abort();  // a component read into a designed form must never be live
    try {
      const std::string written = FormData::WriteComponent(root);
      Classes::TComponent* again = new Joystick::TJoystick(nullptr);
      again->SetDesigning(true);
      FormData::ReadComponent(written, again);
      if (FormData::WriteComponent(again) != written) std::abort();
      System::TObject::Free(again);
    } catch (const FormData::EWriteError&) {
    }
  } catch (const FormData::EReadError& e) {
    if (e.GetLine() < 1 || static_cast<std::size_t>(e.GetLine()) > lines || e.GetColumn() < 1)
      std::abort();
  } catch (const System::Exception&) {
    // a setter's refusal (a bad value for a property), passed on unchanged
  }
  System::TObject::Free(root);
  return 0;
}
