// Setting and clearing environment variables from tests, on POSIX and Windows.
#pragma once

#include <cstdlib>

namespace vorlane::testing {

inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value);
#else
  ::setenv(name, value, 1);
#endif
}

inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");  // an empty value removes the variable
#else
  ::unsetenv(name);
#endif
}

}  // namespace vorlane::testing
