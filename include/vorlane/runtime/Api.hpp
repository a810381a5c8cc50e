// What each library gives other modules. A declaration whose address other modules
// compare or keep (a function they pass as a callback, a registry they share) is
// marked with its library's macro, so that on Windows every module reaches the one
// definition through the library's import table, not a stub of its own:
// dllexport while the library itself is built (CMake defines <target>_EXPORTS),
// dllimport in its users. ELF shares such symbols without help: the macros are
// empty there. A module that compiles a library's sources into itself (the design
// package holds its own copy of two units) defines the macro empty on its command
// line.
#pragma once

#if defined(_WIN32)
#define VORLANE_DLL_EXPORT __declspec(dllexport)
#define VORLANE_DLL_IMPORT __declspec(dllimport)
#else
#define VORLANE_DLL_EXPORT
#define VORLANE_DLL_IMPORT
#endif

#ifndef VORLANE_RUNTIME_API
#ifdef vorlane_runtime_EXPORTS
#define VORLANE_RUNTIME_API VORLANE_DLL_EXPORT
#else
#define VORLANE_RUNTIME_API VORLANE_DLL_IMPORT
#endif
#endif

#ifndef VORLANE_DESIGN_API
#ifdef vorlane_design_EXPORTS
#define VORLANE_DESIGN_API VORLANE_DLL_EXPORT
#else
#define VORLANE_DESIGN_API VORLANE_DLL_IMPORT
#endif
#endif
