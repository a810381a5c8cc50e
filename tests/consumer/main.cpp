// An outside program built against an installed Vorlane: it includes the public
// headers, links Vorlane::joystick (which brings Vorlane::platform), creates a
// TJoystick and prints its About text. It fails when About does not name the
// version of the package it was built against.
#include <cstdio>
#include <exception>
#include <string>

#ifndef VORLANE_EXPECTED_VERSION
#error "VORLANE_EXPECTED_VERSION (major.minor of the installed package) must be defined"
#endif

#if __has_include(<vorlane/Joystick.hpp>)
#include <vorlane/Joystick.hpp>

int main() {
  using namespace vorlane;
  Joystick::TJoystick* joystick = nullptr;
  try {
    joystick = new Joystick::TJoystick(nullptr);
    const std::string about = System::StringToUtf8(joystick->GetAbout());
    const int controllers = joystick->GetControllerCount();
    System::TObject::Free(joystick);
    joystick = nullptr;

    std::printf("About: %s\n", about.c_str());
    std::printf("Controller numbers: %d\n", controllers);
    const std::string expected = "Version " VORLANE_EXPECTED_VERSION;
    if (about.compare(0, expected.size(), expected) != 0) {
      std::fprintf(stderr, "consumer: About does not begin with \"%s\"\n", expected.c_str());
      return 1;
    }
    return 0;
  } catch (const System::Exception& e) {
    System::TObject::Free(joystick);
    std::fprintf(stderr, "consumer: %s: %s\n", System::StringToUtf8(e.ClassName()).c_str(),
                 e.what());
    return 1;
  } catch (const std::exception& e) {
    System::TObject::Free(joystick);
    std::fprintf(stderr, "consumer: %s\n", e.what());
    return 1;
  }
}

#elif __has_include(<vorlane/joystickapi.h>)
// The component's header is not installed yet: use the joystick service's C API.
#include <vorlane/joystickapi.h>

int main() {
  std::printf("Vorlane %s without <vorlane/Joystick.hpp>; joyGetNumDevs() = %u\n",
              VORLANE_EXPECTED_VERSION, static_cast<unsigned>(joyGetNumDevs()));
  return 0;
}

#else
#error "the installed Vorlane has neither <vorlane/Joystick.hpp> nor <vorlane/joystickapi.h>"
#endif
