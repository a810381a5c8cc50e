/* The multimedia joystick API: the functions, records, flags, messages and result
 * codes of the Windows joystick service (joystickapi.h / mmsystem.h), with the same
 * names, values and record layouts.
 *
 * Controllers are numbered 0 to 15 (joyGetNumDevs returns 16). Every call is
 * synchronous and thread-safe. Devices come from the service's backends: virtual
 * controllers made in code (vorlane/VirtualJoystick.hpp), recorded devices and, on
 * Linux, the kernel's evdev devices; VORLANE_JOYSTICK_BACKENDS chooses among them
 * ("evdev", "virtual" or both, comma-separated; both by default).
 *
 * Axis readings of joyGetPosEx, for each axis the device has (an axis it lacks reads 0):
 *   - calibrated (the default): the device's range [Min, Max] mapped linearly onto
 *     0..65535; an axis resting in the middle of a symmetric range reads 32767;
 *   - JOY_RETURNCENTERED: [Min, Rest] mapped onto 0..32767 and [Rest, Max] onto
 *     32767..65535, so the rest position always reads 32767;
 *   - JOY_RETURNRAWDATA (wins over JOY_RETURNCENTERED): the device's reading minus Min.
 *   A reading outside [Min, Max] is first clamped to it, so no value is ever
 *   negative. joyGetPos and the capture messages use calibrated readings.
 * dwPOV: JOY_POVCENTERED (65535) when centred, else hundredths of a degree clockwise
 * from forward; JOY_RETURNPOVCTS gives the angle as the device reports it and
 * JOY_RETURNPOV alone the nearest of the eight directions 0, 4500, ..., 31500.
 *
 * Capture (joySetCapture): controller 0 is told with the MM_JOY1* messages, every
 * other controller with the MM_JOY2* messages. With fChanged FALSE the window gets
 * a move (and a Z move when the controller has Z) every period; with fChanged TRUE
 * only when X or Y (Z) has moved by more than the threshold since the last move
 * reported, without any polling. Button messages follow every change of buttons
 * 1 to 8 in both modes. Within one device update the order is move, Z move,
 * button down, button up. Destroying the capturing window releases its capture.
 *
 * Every way in which these answers differ from Windows' (an empty number answers
 * JOYERR_UNPLUGGED, for one) is listed in docs/windows-differences.md.
 *
 * On Windows the records, flags, messages, codes and declarations are the system's
 * own (<windef.h> and <mmsystem.h>), and the checks below hold them to the same
 * layouts; the project's service (vorlane-joyservice) exports these functions
 * there too, with the same calling convention and names as winmm.dll. */
#ifndef VORLANE_JOYSTICKAPI_H
#define VORLANE_JOYSTICKAPI_H

#include <stddef.h>
#include <stdint.h>

#include "vorlane/windef.h"

#ifdef _WIN32
#include <mmsystem.h>
#else

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t UINT_PTR;

/* Result codes. */
#define MMSYSERR_NOERROR 0u
#define MMSYSERR_ERROR 1u
#define MMSYSERR_BADDEVICEID 2u
#define MMSYSERR_NODRIVER 6u
#define MMSYSERR_NOMEM 7u
#define MMSYSERR_INVALPARAM 11u
#define JOYERR_BASE 160u
#define JOYERR_NOERROR 0u
#define JOYERR_PARMS (JOYERR_BASE + 5u)     /* 165: bad parameters */
#define JOYERR_NOCANDO (JOYERR_BASE + 6u)   /* 166: request not completed */
#define JOYERR_UNPLUGGED (JOYERR_BASE + 7u) /* 167: joystick is unplugged */

/* Messages posted to a capture window. */
#define MM_JOY1MOVE 0x3A0u
#define MM_JOY2MOVE 0x3A1u
#define MM_JOY1ZMOVE 0x3A2u
#define MM_JOY2ZMOVE 0x3A3u
#define MM_JOY1BUTTONDOWN 0x3B5u
#define MM_JOY2BUTTONDOWN 0x3B6u
#define MM_JOY1BUTTONUP 0x3B7u
#define MM_JOY2BUTTONUP 0x3B8u

/* Button bits of the messages' wParam and of JOYINFO.wButtons. */
#define JOY_BUTTON1 0x0001u
#define JOY_BUTTON2 0x0002u
#define JOY_BUTTON3 0x0004u
#define JOY_BUTTON4 0x0008u
#define JOY_BUTTON1CHG 0x0100u
#define JOY_BUTTON2CHG 0x0200u
#define JOY_BUTTON3CHG 0x0400u
#define JOY_BUTTON4CHG 0x0800u

/* Button bits of JOYINFOEX.dwButtons: button n is bit n-1. */
#define JOY_BUTTON5 0x00000010u
#define JOY_BUTTON6 0x00000020u
#define JOY_BUTTON7 0x00000040u
#define JOY_BUTTON8 0x00000080u
#define JOY_BUTTON9 0x00000100u
#define JOY_BUTTON10 0x00000200u
#define JOY_BUTTON11 0x00000400u
#define JOY_BUTTON12 0x00000800u
#define JOY_BUTTON13 0x00001000u
#define JOY_BUTTON14 0x00002000u
#define JOY_BUTTON15 0x00004000u
#define JOY_BUTTON16 0x00008000u
#define JOY_BUTTON17 0x00010000u
#define JOY_BUTTON18 0x00020000u
#define JOY_BUTTON19 0x00040000u
#define JOY_BUTTON20 0x00080000u
#define JOY_BUTTON21 0x00100000u
#define JOY_BUTTON22 0x00200000u
#define JOY_BUTTON23 0x00400000u
#define JOY_BUTTON24 0x00800000u
#define JOY_BUTTON25 0x01000000u
#define JOY_BUTTON26 0x02000000u
#define JOY_BUTTON27 0x04000000u
#define JOY_BUTTON28 0x08000000u
#define JOY_BUTTON29 0x10000000u
#define JOY_BUTTON30 0x20000000u
#define JOY_BUTTON31 0x40000000u
#define JOY_BUTTON32 0x80000000u

/* Point-of-view values. */
#define JOY_POVCENTERED ((WORD)-1)
#define JOY_POVFORWARD 0u
#define JOY_POVRIGHT 9000u
#define JOY_POVBACKWARD 18000u
#define JOY_POVLEFT 27000u

/* JOYINFOEX.dwFlags. */
#define JOY_RETURNX 0x00000001u
#define JOY_RETURNY 0x00000002u
#define JOY_RETURNZ 0x00000004u
#define JOY_RETURNR 0x00000008u
#define JOY_RETURNU 0x00000010u
#define JOY_RETURNV 0x00000020u
#define JOY_RETURNPOV 0x00000040u
#define JOY_RETURNBUTTONS 0x00000080u
#define JOY_RETURNRAWDATA 0x00000100u
#define JOY_RETURNPOVCTS 0x00000200u
#define JOY_RETURNCENTERED 0x00000400u
#define JOY_USEDEADZONE 0x00000800u /* accepted, no effect: the service applies no dead zone */
#define JOY_RETURNALL                                                                  \
  (JOY_RETURNX | JOY_RETURNY | JOY_RETURNZ | JOY_RETURNR | JOY_RETURNU | JOY_RETURNV | \
   JOY_RETURNPOV | JOY_RETURNBUTTONS)
/* Calibration requests of the control panel: accepted, no effect. */
#define JOY_CAL_READALWAYS 0x00010000u
#define JOY_CAL_READXYONLY 0x00020000u
#define JOY_CAL_READ3 0x00040000u
#define JOY_CAL_READ4 0x00080000u
#define JOY_CAL_READXONLY 0x00100000u
#define JOY_CAL_READYONLY 0x00200000u
#define JOY_CAL_READ5 0x00400000u
#define JOY_CAL_READ6 0x00800000u
#define JOY_CAL_READZONLY 0x01000000u
#define JOY_CAL_READRONLY 0x02000000u
#define JOY_CAL_READUONLY 0x04000000u
#define JOY_CAL_READVONLY 0x08000000u

/* JOYCAPSW.wCaps. */
#define JOYCAPS_HASZ 0x0001u
#define JOYCAPS_HASR 0x0002u
#define JOYCAPS_HASU 0x0004u
#define JOYCAPS_HASV 0x0008u
#define JOYCAPS_HASPOV 0x0010u
#define JOYCAPS_POV4DIR 0x0020u
#define JOYCAPS_POVCTS 0x0040u

/* Controller numbers of the first two controllers. */
#define JOYSTICKID1 0u
#define JOYSTICKID2 1u

#define MAXPNAMELEN 32u
#define MAX_JOYSTICKOEMVXDNAME 260u

typedef struct joyinfo_tag {
  UINT wXpos;
  UINT wYpos;
  UINT wZpos;
  UINT wButtons; /* JOY_BUTTON1 to JOY_BUTTON4 */
} JOYINFO, *PJOYINFO, *NPJOYINFO, *LPJOYINFO;

typedef struct joyinfoex_tag {
  DWORD dwSize; /* sizeof(JOYINFOEX), set by the caller */
  DWORD dwFlags;
  DWORD dwXpos;
  DWORD dwYpos;
  DWORD dwZpos;
  DWORD dwRpos;
  DWORD dwUpos;
  DWORD dwVpos;
  DWORD dwButtons;      /* buttons 1 to 32: bit n-1 is button n */
  DWORD dwButtonNumber; /* how many buttons are held */
  DWORD dwPOV;
  DWORD dwReserved1;
  DWORD dwReserved2;
} JOYINFOEX, *PJOYINFOEX, *NPJOYINFOEX, *LPJOYINFOEX;

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
#endif

/* The fields of the capability records, with strings of CHAR. Strings end at their
 * first zero unit (byte), or fill the whole array. */
#define VORLANE_JOYCAPS_FIELDS(CHAR) \
  WORD wMid;                         \
  WORD wPid;                         \
  CHAR szPname[MAXPNAMELEN];         \
  UINT wXmin;                        \
  UINT wXmax;                        \
  UINT wYmin;                        \
  UINT wYmax;                        \
  UINT wZmin;                        \
  UINT wZmax;                        \
  UINT wNumButtons;                  \
  UINT wPeriodMin;                   \
  UINT wPeriodMax;                   \
  UINT wRmin;                        \
  UINT wRmax;                        \
  UINT wUmin;                        \
  UINT wUmax;                        \
  UINT wVmin;                        \
  UINT wVmax;                        \
  UINT wCaps;                        \
  UINT wMaxAxes;                     \
  UINT wNumAxes;                     \
  UINT wMaxButtons;                  \
  CHAR szRegKey[MAXPNAMELEN];        \
  CHAR szOEMVxD[MAX_JOYSTICKOEMVXDNAME];
/* The identifiers that follow them in JOYCAPS2W and JOYCAPS2A; an identifier the
 * device does not give is all zero. */
#define VORLANE_JOYCAPS2_FIELDS \
  GUID ManufacturerGuid;        \
  GUID ProductGuid;             \
  GUID NameGuid;

typedef struct tagJOYCAPSW {
  VORLANE_JOYCAPS_FIELDS(WCHAR)
} JOYCAPSW, *PJOYCAPSW, *NPJOYCAPSW, *LPJOYCAPSW;

typedef struct tagJOYCAPS2W {
  VORLANE_JOYCAPS_FIELDS(WCHAR)
  VORLANE_JOYCAPS2_FIELDS
} JOYCAPS2W, *PJOYCAPS2W, *NPJOYCAPS2W, *LPJOYCAPS2W;

/* The same records with 8-bit strings in the ANSI code page, which is Windows-1252
 * here (Western European, as on a US English system): each UTF-16 character of the
 * wide record becomes its Windows-1252 byte, and a character Windows-1252 lacks
 * (a surrogate pair counting as one character) becomes '?'. The five bytes the code
 * page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control
 * characters of the same number, as in Windows' own table. */
typedef struct tagJOYCAPSA {
  VORLANE_JOYCAPS_FIELDS(char)
} JOYCAPSA, *PJOYCAPSA, *NPJOYCAPSA, *LPJOYCAPSA;

typedef struct tagJOYCAPS2A {
  VORLANE_JOYCAPS_FIELDS(char)
  VORLANE_JOYCAPS2_FIELDS
} JOYCAPS2A, *PJOYCAPS2A, *NPJOYCAPS2A, *LPJOYCAPS2A;

#undef VORLANE_JOYCAPS_FIELDS
#undef VORLANE_JOYCAPS2_FIELDS

/* How many controller numbers there are: 16. */
UINT WINAPI joyGetNumDevs(void);
/* Calibrated X, Y, Z and buttons 1 to 4. */
MMRESULT WINAPI joyGetPos(UINT uJoyID, LPJOYINFO pji);
/* The fields that pji->dwFlags asks for; dwSize must be at least sizeof(JOYINFOEX). */
MMRESULT WINAPI joyGetPosEx(UINT uJoyID, LPJOYINFOEX pji);
/* The capabilities of a controller. cbjc is the size of the record pjc points to:
 * sizeof(JOYCAPSW) or sizeof(JOYCAPS2W) for joyGetDevCapsW, sizeof(JOYCAPSA) or
 * sizeof(JOYCAPS2A) for joyGetDevCapsA; exactly cbjc bytes are written, and only on
 * success. The checks, in the order Windows makes them (Wine's winmm and its
 * conformance tests, and Microsoft's documentation of joyGetDevCaps, agree):
 *   1. pjc is NULL: MMSYSERR_INVALPARAM (whatever uJoyID and cbjc are);
 *   2. cbjc is not one of the two sizes: JOYERR_PARMS;
 *   3. uJoyID is (UINT_PTR)-1: JOYERR_NOERROR with only szRegKey filled ("DINPUT.DLL",
 *      the key Windows answers), whether or not any controller is attached;
 *   4. uJoyID is 16 or more: JOYERR_PARMS;
 *   5. no controller has the number: JOYERR_UNPLUGGED (Windows: JOYERR_PARMS; see
 *      docs/windows-differences.md);
 *   6. otherwise the controller's record and JOYERR_NOERROR.
 * The record is left untouched by every failure (Windows zeroes it from step 3 on). */
MMRESULT WINAPI joyGetDevCapsW(UINT_PTR uJoyID, LPJOYCAPSW pjc, UINT cbjc);
MMRESULT WINAPI joyGetDevCapsA(UINT_PTR uJoyID, LPJOYCAPSA pjc, UINT cbjc);
/* The capture threshold of a controller number, in calibrated units (0 to 65535). */
MMRESULT WINAPI joyGetThreshold(UINT uJoyID, UINT* puThreshold);
MMRESULT WINAPI joySetThreshold(UINT uJoyID, UINT uThreshold);
/* uPeriod is clamped to 10..1000 ms (0 means 10); fChanged non-zero asks for moves
 * beyond the threshold only. */
MMRESULT WINAPI joySetCapture(HWND hwnd, UINT uJoyID, UINT uPeriod, BOOL fChanged);
MMRESULT WINAPI joyReleaseCapture(UINT uJoyID);

#ifdef __cplusplus
}
#endif
#endif /* _WIN32 */

#ifdef __cplusplus

#define VORLANE_JOY_ASSERT_OFFSET(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), #type "." #field " is at " #offset)
#else
#define VORLANE_JOY_ASSERT_OFFSET(type, field, offset) \
  _Static_assert(offsetof(type, field) == (offset), #type "." #field " is at " #offset)
#endif

#ifdef __cplusplus
static_assert(sizeof(JOYINFO) == 16, "JOYINFO is 16 bytes");
static_assert(sizeof(JOYINFOEX) == 52, "JOYINFOEX is 52 bytes");
static_assert(sizeof(JOYCAPSW) == 728, "JOYCAPSW is 728 bytes");
static_assert(sizeof(JOYCAPS2W) == 776, "JOYCAPS2W is 776 bytes");
static_assert(sizeof(JOYCAPSA) == 404, "JOYCAPSA is 404 bytes");
static_assert(sizeof(JOYCAPS2A) == 452, "JOYCAPS2A is 452 bytes");
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
#else
_Static_assert(sizeof(JOYINFO) == 16, "JOYINFO is 16 bytes");
_Static_assert(sizeof(JOYINFOEX) == 52, "JOYINFOEX is 52 bytes");
_Static_assert(sizeof(JOYCAPSW) == 728, "JOYCAPSW is 728 bytes");
_Static_assert(sizeof(JOYCAPS2W) == 776, "JOYCAPS2W is 776 bytes");
_Static_assert(sizeof(JOYCAPSA) == 404, "JOYCAPSA is 404 bytes");
_Static_assert(sizeof(JOYCAPS2A) == 452, "JOYCAPS2A is 452 bytes");
_Static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
#endif
VORLANE_JOY_ASSERT_OFFSET(JOYINFO, wButtons, 12);
VORLANE_JOY_ASSERT_OFFSET(JOYINFOEX, dwFlags, 4);
VORLANE_JOY_ASSERT_OFFSET(JOYINFOEX, dwXpos, 8);
VORLANE_JOY_ASSERT_OFFSET(JOYINFOEX, dwButtons, 32);
VORLANE_JOY_ASSERT_OFFSET(JOYINFOEX, dwPOV, 40);
VORLANE_JOY_ASSERT_OFFSET(JOYINFOEX, dwReserved2, 48);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, wPid, 2);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, szPname, 4);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, wXmin, 68);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, wNumButtons, 92);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, wRmin, 104);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, wCaps, 128);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, wMaxButtons, 140);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, szRegKey, 144);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSW, szOEMVxD, 208);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2W, szOEMVxD, 208);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2W, ManufacturerGuid, 728);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2W, ProductGuid, 744);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2W, NameGuid, 760);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSA, szPname, 4);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSA, wXmin, 36);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSA, wCaps, 96);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSA, wMaxButtons, 108);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSA, szRegKey, 112);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPSA, szOEMVxD, 144);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2A, szOEMVxD, 144);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2A, ManufacturerGuid, 404);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2A, ProductGuid, 420);
VORLANE_JOY_ASSERT_OFFSET(JOYCAPS2A, NameGuid, 436);
#undef VORLANE_JOY_ASSERT_OFFSET

#endif /* VORLANE_JOYSTICKAPI_H */
