// The design-time headers hold inline code too; compiling them here at -O3 with
// warnings as errors checks that an includer never trips over them.
#include <vorlane/JoystickDesign.hpp>
#include <vorlane/designer/DesignEditors.hpp>
