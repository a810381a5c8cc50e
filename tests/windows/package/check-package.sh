#!/usr/bin/env bash
# Checks the design package of the two Windows build trees from outside: both DLLs
# against their module-definition files and the .res of the build (machine, DLL flag,
# export names, every resource's type, name, language and bytes), the two trees'
# .res files against each other, and objdump's export count against the checker's.
#
#   bash tests/windows/package/check-package.sh [build-windows [build-windows64]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
build32="${1:-$root/build-windows}"
build64="${2:-$root/build-windows64}"

fail() {
  printf 'check-package: %s\n' "$*" >&2
  exit 1
}

for tree in "$build32" "$build64"; do
  for file in package/VorlaneJoy.dll package/VorlaneJoy.def package/VorlaneJoy.res; do
    [[ -f "$tree/$file" ]] || fail "$tree/$file not found: build the package in $tree first"
  done
done
cmp -s "$build32/package/VorlaneJoy.res" "$build64/package/VorlaneJoy.res" ||
  fail "the resources compiled in $build32 and $build64 differ"

python3 "$root/tests/windows/package/check_package.py" --res "$build64/package/VorlaneJoy.res" \
  --dll32 "$build32/package/VorlaneJoy.dll" --def32 "$build32/package/VorlaneJoy.def" \
  --dll64 "$build64/package/VorlaneJoy.dll" --def64 "$build64/package/VorlaneJoy.def"

# The checker's own PE reader against binutils': objdump lists the same names.
def_names() { sed -n 's/^  \([^ ]*\).*$/\1/p' "$1" | sort; }
objdump_names() { "$1" -p "$2" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | sort; }
for bits in 32 64; do
  if [[ $bits == 32 ]]; then tree="$build32" triple=i686-w64-mingw32; else tree="$build64" triple=x86_64-w64-mingw32; fi
  command -v "$triple-objdump" >/dev/null || continue
  diff <(def_names "$tree/package/VorlaneJoy.def") \
    <(objdump_names "$triple-objdump" "$tree/package/VorlaneJoy.dll") >/dev/null ||
    fail "$tree/package/VorlaneJoy.dll: objdump's export names differ from the .def's"
done
echo "check-package: both packages agree with their .def files and the .res"

# Which DLL each imported function comes from, as "DLL function" lines.
imports() {
  "$1" -p "$2" | awk '/DLL Name:/ { dll = toupper($3) } /^\t[0-9a-f]+[ \t]+[0-9]+ +[A-Za-z_]/ { print dll, $NF }'
}
joy_functions="joyGetDevCapsW joyGetNumDevs joyGetPos joyGetPosEx joyGetThreshold joyReleaseCapture joySetCapture joySetThreshold"
for bits in 32 64; do
  if [[ $bits == 32 ]]; then tree="$build32" triple=i686-w64-mingw32; else tree="$build64" triple=x86_64-w64-mingw32; fi
  command -v "$triple-objdump" >/dev/null || continue
  for module in "$tree/bin/libvorlane-joystick.dll" "$tree/package/VorlaneJoy.dll"; do
    [[ -f "$module" ]] || fail "$module not found"
    list="$(imports "$triple-objdump" "$module")"
    for function in $joy_functions; do
      grep -qx "WINMM.DLL $function" <<<"$list" ||
        fail "$module does not import $function from WINMM.DLL: $(grep -w "$function" <<<"$list" || echo 'not imported')"
    done
  done
done
if command -v i686-w64-mingw32-objdump >/dev/null; then
  for module in "$build32"/bin/libv*.dll "$build32"/bin/*.exe "$build32/package/VorlaneJoy.dll"; do
    [[ -f "$module" ]] || continue
    headers="$(i686-w64-mingw32-objdump -p "$module")"
    grep -q 'DLL Name: libgcc_s_dw2-1.dll' <<<"$headers" ||
      fail "$module does not use the shared libgcc (libgcc_s_dw2-1.dll); a tree configured before the 32-bit build used it keeps the old link flags: delete $build32 and build again"
  done
  for dll in libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll; do
    [[ -f "$build32/bin/$dll" ]] || fail "$build32/bin/$dll, which the 32-bit modules load, is missing"
  done
fi
echo "check-package: the component takes the joy* functions from WINMM.DLL; the 32-bit modules share one C++ run time"
