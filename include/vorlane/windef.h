/* Basic Windows-style scalar types and the window handle, shared by the C API
 * headers and the C++ framework. On Windows they are the system's own, from
 * <windef.h>; elsewhere they are declared here with the same widths. */
#ifndef VORLANE_WINDEF_H
#define VORLANE_WINDEF_H

#ifdef _WIN32
#include <windef.h>
#else
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef char16_t WCHAR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef UINT MMRESULT;

/* A window handle: an opaque number that names a window of the framework. A handle
 * is never reused for another window, so a stale handle simply names no window. */
typedef struct vorlane_window* HWND;

#define TRUE 1
#define FALSE 0

/* The calling convention of the service's functions: the system's own on Windows
 * (stdcall on 32-bit x86), the default one here. */
#define WINAPI

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

#endif /* VORLANE_WINDEF_H */
