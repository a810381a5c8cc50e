#!/usr/bin/env python3
"""Checks Windows builds of a DLL from outside, by reading the PE files themselves.

    check_package.py --res X.res --dll32 A.dll --def32 A.def [--dll64 B.dll --def64 B.def]
                     [--expect NAMES]

For each DLL: it is a DLL of its machine (i386 for the 32-bit one, x86-64 for the
64-bit one, and `file` agrees when it is installed); its export names are exactly
the names its module-definition file lists; its resources (type, name, language and
bytes) are exactly those of the .res file. With both DLLs the two are also compared
with each other: the 32-bit one exports exactly the 64-bit one's names, undecorated
(no cdecl underscore, no stdcall or fastcall @N; C++ thunks compared without their
this-adjustment), and their resources agree in type,
name, language and bytes. With --expect, each module-definition file lists exactly
the names in that file. Prints what differs and exits 1 on any difference, 2 on a wrong
command line or a file that cannot be read.
"""
import argparse
import re
import shutil
import struct
import subprocess
import sys

IMAGE_FILE_DLL = 0x2000
MACHINES = {32: (0x14C, "PE32", "Intel 80386"), 64: (0x8664, "PE32+", "x86-64")}
RESOURCE_TYPES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING",
                  10: "RCDATA", 12: "GROUP_CURSOR", 14: "GROUP_ICON", 16: "VERSION"}


class FormatError(Exception):
    pass


def u16(data, at):
    if at + 2 > len(data):
        raise FormatError(f"truncated at offset {at:#x}")
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    if at + 4 > len(data):
        raise FormatError(f"truncated at offset {at:#x}")
    return struct.unpack_from("<I", data, at)[0]


def c_string(data, at):
    end = data.find(b"\0", at)
    if end < 0:
        raise FormatError(f"unterminated name at offset {at:#x}")
    return data[at:end].decode("latin-1")


class PeFile:
    """The headers, sections, exports and resources of one PE image file."""

    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = data = f.read()
        if data[:2] != b"MZ":
            raise FormatError(f"{path}: no MZ header")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise FormatError(f"{path}: no PE signature at {pe:#x}")
        self.machine = u16(data, pe + 4)
        sections = u16(data, pe + 6)
        optional_size = u16(data, pe + 20)
        self.characteristics = u16(data, pe + 22)
        optional = pe + 24
        magic = u16(data, optional)
        if magic == 0x10B:
            self.bits, directories = 32, optional + 96
        elif magic == 0x20B:
            self.bits, directories = 64, optional + 112
        else:
            raise FormatError(f"{path}: unknown optional header magic {magic:#x}")
        count = u32(data, directories - 4)
        self.directories = [(u32(data, directories + 8 * i), u32(data, directories + 8 * i + 4))
                            for i in range(min(count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            at = table + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((name, rva, max(virtual_size, raw_size), raw, raw_size))

    def offset(self, rva):
        for name, start, size, raw, raw_size in self.sections:
            if start <= rva < start + size:
                if rva - start >= raw_size:
                    raise FormatError(f"{self.path}: RVA {rva:#x} lies in {name}'s zero fill")
                return raw + rva - start
        raise FormatError(f"{self.path}: RVA {rva:#x} is in no section")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def exports(self):
        rva, size = self.directory(0)
        if rva == 0:
            return []
        base = self.offset(rva)
        names = u32(self.data, base + 24)
        table = self.offset(u32(self.data, base + 32))
        return [c_string(self.data, self.offset(u32(self.data, table + 4 * i)))
                for i in range(names)]

    def resources(self):
        """{(type, name, language): bytes} of the resource tree."""
        rva, _ = self.directory(2)
        if rva == 0:
            return {}
        root = self.offset(rva)
        found = {}

        def entry_id(value):
            if value & 0x80000000:
                at = root + (value & 0x7FFFFFFF)
                length = u16(self.data, at)
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return value

        def walk(table, path):
            named, numbered = u16(self.data, table + 12), u16(self.data, table + 14)
            for i in range(named + numbered):
                at = table + 16 + 8 * i
                key, target = u32(self.data, at), u32(self.data, at + 4)
                here = path + (entry_id(key),)
                if target & 0x80000000:
                    if len(here) >= 3:
                        raise FormatError(f"{self.path}: resource tree deeper than 3 levels")
                    walk(root + (target & 0x7FFFFFFF), here)
                else:
                    if len(here) != 3:
                        raise FormatError(f"{self.path}: resource data at level {len(here)}")
                    data_rva, data_size = u32(self.data, root + target), u32(self.data, root + target + 4)
                    start = self.offset(data_rva)
                    found[here] = self.data[start:start + data_size]

        walk(root, ())
        return found


def read_res(path):
    """{(type, name, language): bytes} of a 32-bit .res file."""
    with open(path, "rb") as f:
        data = f.read()
    found = {}
    at = 0
    while at < len(data):
        data_size, header_size = u32(data, at), u32(data, at + 4)
        if header_size < 32 or at + header_size + data_size > len(data):
            raise FormatError(f"{path}: bad resource header at offset {at:#x}")
        field = at + 8
        ids = []
        for _ in range(2):
            if u16(data, field) == 0xFFFF:
                ids.append(u16(data, field + 2))
                field += 4
            else:
                end = field
                while u16(data, end) != 0:
                    end += 2
                ids.append(data[field:end].decode("utf-16-le"))
                field = end + 2
        field = (field + 3) & ~3
        language = u16(data, field + 6)
        if data_size or ids != [0, 0]:
            key = (ids[0], ids[1], language)
            if key in found:
                raise FormatError(f"{path}: resource {describe(key)} is there twice")
            found[key] = data[at + header_size:at + header_size + data_size]
        at = (at + header_size + data_size + 3) & ~3
    return found


def read_def(path):
    names = []
    in_exports = False
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split(";", 1)[0].strip()
            if not line:
                continue
            if line.upper() == "EXPORTS":
                in_exports = True
            elif line.split()[0].upper() in ("LIBRARY", "NAME"):
                in_exports = False
            elif in_exports:
                names.append(line.split()[0].split("=")[0])
    return names


def describe(key):
    kind, name, language = key
    kind = RESOURCE_TYPES.get(kind, kind) if isinstance(kind, int) else kind
    name = f"#{name}" if isinstance(name, int) else name
    return f"{kind} {name} language {language:04X}"


def resource_differences(resources, expected, source):
    """What differs between a DLL's resources and those `source` has (`expected`)."""
    problems = []
    for key in sorted(set(expected) | set(resources), key=str):
        if key not in resources:
            problems.append(f"lacks resource {describe(key)}, which {source} has")
        elif key not in expected:
            problems.append(f"has resource {describe(key)}, which {source} does not")
        elif resources[key] != expected[key]:
            problems.append(f"resource {describe(key)} differs from {source} "
                            f"({len(resources[key])} bytes against {len(expected[key])})")
    return problems


def check_dll(dll_path, def_path, bits, expected_resources):
    problems = []
    dll = PeFile(dll_path)
    machine, format_name, file_machine = MACHINES[bits]
    if dll.bits != bits or dll.machine != machine:
        problems.append(f"is a {dll.bits}-bit image for machine {dll.machine:#x}, "
                        f"not {format_name} for {machine:#x}")
    if not dll.characteristics & IMAGE_FILE_DLL:
        problems.append("is not marked as a DLL")
    if shutil.which("file"):
        described = subprocess.run(["file", "-b", dll_path], capture_output=True, text=True).stdout
        if not (described.startswith(f"{format_name} executable (DLL)") and file_machine in described):
            problems.append(f"file says '{described.strip()}', not '{format_name} executable (DLL) "
                            f"... {file_machine}'")
    exports, listed = dll.exports(), read_def(def_path)
    if len(set(exports)) != len(exports):
        problems.append("exports a name twice")
    for name in sorted(set(listed) - set(exports)):
        problems.append(f"does not export {name}, which {def_path} lists")
    for name in sorted(set(exports) - set(listed)):
        problems.append(f"exports {name}, which {def_path} does not list")
    if not listed:
        problems.append(f"{def_path} lists no exports")
    resources = dll.resources()
    problems += resource_differences(resources, expected_resources, "the .res")
    return [f"{dll_path}: {problem}" for problem in problems], len(exports), len(resources)


def undecorated(name):
    """An i686 C name without its decoration: _f (cdecl), _f@8 (stdcall), @f@8 (fastcall)."""
    plain = name
    if plain.startswith("@") or (plain.startswith("_") and not plain.startswith("_Z")):
        plain = plain[1:]
    at = plain.rfind("@")
    if at > 0 and plain[at + 1:].isdigit():
        plain = plain[:at]
    return plain


# A C++ thunk's name holds the this-adjustment, the size of the bases before the one
# it serves: pointers make it differ between the machines (_ZThn4_ against _ZThn8_).
THUNK_OFFSETS = re.compile(r"^_ZT(?:h(n?)\d+|v(n?)\d+_(n?)\d+)_")


def machine_neutral(name):
    return THUNK_OFFSETS.sub("_ZT<thunk>_", name)


def compare_machines(dll32_path, dll64_path):
    """What differs between the 32-bit and the 64-bit build of one DLL."""
    dll32, dll64 = PeFile(dll32_path), PeFile(dll64_path)
    problems = []
    names32, names64 = dll32.exports(), {machine_neutral(name) for name in dll64.exports()}
    for name in sorted(names32):
        if undecorated(name) != name:
            problems.append(f"{dll32_path} exports the decorated name {name}, "
                            f"not {undecorated(name)}")
    plain32 = {machine_neutral(undecorated(name)) for name in names32}
    for name in sorted(names64 - plain32):
        problems.append(f"{dll32_path} does not export {name}, which {dll64_path} exports")
    for name in sorted(plain32 - names64):
        problems.append(f"{dll32_path} exports {name}, which {dll64_path} does not")
    res32, res64 = dll32.resources(), dll64.resources()
    problems += [f"{dll32_path}: {problem}"
                 for problem in resource_differences(res32, res64, dll64_path)]
    print(f"{dll32_path} against {dll64_path}: {len(plain32 & names64)} export names and "
          f"{len(set(res32) & set(res64))} resources in common")
    return problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--res", required=True)
    parser.add_argument("--dll32")
    parser.add_argument("--def32")
    parser.add_argument("--dll64")
    parser.add_argument("--def64")
    parser.add_argument("--expect", help="a file of the export names each .def must list, one a line")
    args = parser.parse_args(argv)
    pairs = [(bits, getattr(args, f"dll{bits}"), getattr(args, f"def{bits}")) for bits in (32, 64)]
    pairs = [(bits, dll, def_) for bits, dll, def_ in pairs if dll or def_]
    if not pairs or any(not dll or not def_ for _, dll, def_ in pairs):
        parser.error("give --dll32 with --def32, --dll64 with --def64, or both pairs")
    try:
        expected = read_res(args.res)
        if not expected:
            raise FormatError(f"{args.res}: holds no resources")
        problems = []
        if args.expect:
            with open(args.expect, encoding="utf-8") as f:
                wanted = set(f.read().split())
            for _, _, def_ in pairs:
                listed = set(read_def(def_))
                problems += [f"{def_}: lacks {name}" for name in sorted(wanted - listed)]
                problems += [f"{def_}: lists {name}, which {args.expect} does not"
                             for name in sorted(listed - wanted)]
        for bits, dll, def_ in pairs:
            found, exports, resources = check_dll(dll, def_, bits, expected)
            problems += found
            print(f"{dll}: {bits}-bit DLL, {exports} exports, {resources} resources")
        if len(pairs) == 2:
            problems += compare_machines(args.dll32, args.dll64)
    except (OSError, FormatError) as error:
        print(f"check_package: {error}", file=sys.stderr)
        return 2
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
