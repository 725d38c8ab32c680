#!/usr/bin/env python3
"""Checks the Windows build's programs and its zip by reading the PE files.

  pe_check.py resources VERSION EXE...
      each program carries the icons 128 (16 to 256 pixels), 129 and 130 in 16, 32 and 48
      pixels, a version resource naming the program and VERSION, and the
      manifest (common controls 6, per-monitor DPI awareness v2)
  pe_check.py package ZIP PROMETHEUS_DIR DOCS_DIR [--window]
      the zip holds the programs, the README, the pages and pictures of
      DOCS_DIR in docs/ (the README links to them), the MIB and the
      Prometheus files and nothing else; each program is of its intended subsystem and imports
      only DLLs that come with Windows (--window: the window program too)
"""

import os
import struct
import sys
import zipfile

GUI, CONSOLE = 2, 3
SUBSYSTEM_NAMES = {GUI: "GUI", CONSOLE: "console"}
# (file in the zip, the subsystem of a program; None for other files)
PROGRAMS = [
    ("tarvik.exe", CONSOLE),  # the terminal console, run from cmd.exe or PowerShell
    ("tarvik-sim.exe", CONSOLE),  # the simulated transceiver
    ("tarvikw.exe", GUI),  # the window, opened from Explorer
]
WINDOW_PROGRAM = "tarvikw.exe"
OTHER_FILES = ["README.md", "TARVIK-RADIO-MIB.txt"]
# DLLs that every Windows has; the C and C++ runtimes are linked in.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "comctl32.dll",
    "comdlg32.dll", "ole32.dll", "oleaut32.dll", "ws2_32.dll", "iphlpapi.dll", "msvcrt.dll",
    "shlwapi.dll", "uxtheme.dll", "version.dll", "ntdll.dll", "bcrypt.dll", "dwmapi.dll",
}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICONS = (128, 129, 130)
ICON_SIZES = {16, 32, 48}
# The program's own icon, in every size Explorer and the taskbar ask for.
MAIN_ICON_SIZES = {16, 32, 48, 64, 128, 256}


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
                         for i in range(sections)]
        self.imports_rva = struct.unpack_from("<I", data, directories + 8)[0]
        self.resources_rva = struct.unpack_from("<I", data, directories + 16)[0]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("address %#x outside every section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        names, at = [], self.offset(self.imports_rva) if self.imports_rva else None
        while at is not None:
            name = struct.unpack_from("<12xI", self.data, at)[0]
            if not name:
                break
            names.append(self.text(name))
            at += 20
        return names

    def resources(self):
        """{(type, id): data} of the numbered resources (first language)."""
        found = {}
        if not self.resources_rva:
            return found
        base = self.offset(self.resources_rva)

        def entries(at):
            named, numbered = struct.unpack_from("<12xHH", self.data, base + at)
            for i in range(named + numbered):
                yield struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)

        for kind, types in entries(0):
            for ident, names in entries(types & 0x7FFFFFFF):
                language = next(entries(names & 0x7FFFFFFF))[1]
                rva, size = struct.unpack_from("<II", self.data, base + language)
                start = self.offset(rva)
                found[(kind, ident)] = self.data[start:start + size]
        return found


def version_strings(block):
    """The texts of a version resource's StringFileInfo, by name."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        end = block.index(b"\0\0", at + 6)
        end += (end - at) % 2  # a UTF-16 terminator starts on an even byte
        key = block[at + 6:end].decode("utf-16-le")
        value = (end + 2 + 3) & ~3
        size = value_length * 2 if kind == 1 else value_length
        text = block[value:value + size].decode("utf-16-le").rstrip("\0") if kind == 1 else None
        children, child = [], (value + size + 3) & ~3
        while child < at + length:
            children.append(node(child))
            child = (child + children[-1][3] + 3) & ~3
        return key, text, children, length

    strings = {}
    for key, _, tables, _ in node(0)[2]:
        if key == "StringFileInfo":
            for _, _, values, _ in tables:
                strings.update({name: text for name, text, _, _ in values})
    return strings


def check_resources(version, path):
    faults = []
    name = os.path.basename(path)
    with open(path, "rb") as f:
        found = PeFile(f.read()).resources()
    for icon in ICONS:
        group = found.get((RT_GROUP_ICON, icon))
        if group is None:
            faults.append("no icon %d" % icon)
            continue
        count = struct.unpack_from("<4xH", group)[0]
        sizes = set()
        for i in range(count):
            width, image = struct.unpack_from("<B11xH", group, 6 + 14 * i)
            sizes.add(width or 256)
            if (RT_ICON, image) not in found:
                faults.append("icon %d names a missing image %d" % (icon, image))
        wanted = MAIN_ICON_SIZES if icon == ICONS[0] else ICON_SIZES
        if not wanted <= sizes:
            faults.append("icon %d has sizes %s, not %s" % (icon, sorted(sizes), sorted(wanted)))
    block = found.get((RT_VERSION, 1))
    if block is None:
        faults.append("no version resource")
    else:
        fixed = block.find(struct.pack("<I", 0xFEEF04BD))
        ms, ls = struct.unpack_from("<II", block, fixed + 8)
        numbers = "%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16)
        strings = version_strings(block)
        for field, got in [("file version", numbers), ("FileVersion", strings.get("FileVersion")),
                           ("ProductVersion", strings.get("ProductVersion"))]:
            if got != version:
                faults.append("%s is %r, not %r" % (field, got, version))
        if strings.get("OriginalFilename") != name:
            faults.append("OriginalFilename is %r" % strings.get("OriginalFilename"))
    manifest = found.get((RT_MANIFEST, 1), b"").decode("utf-8", "replace")
    for needed in ['name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', "PerMonitorV2"]:
        if needed not in " ".join(manifest.split()):
            faults.append("manifest lacks %s" % needed)
    return ["%s: %s" % (name, fault) for fault in faults]


def check_package(zip_path, prometheus_dir, docs_dir, window):
    with zipfile.ZipFile(zip_path) as z:
        members = {info.filename: info for info in z.infolist() if not info.is_dir()}
        # cpack puts everything in one folder named after the package.
        top = {name.split("/", 1)[0] for name in members}
        if len(top) != 1:
            return ["the zip has not one top folder but %s" % sorted(top)]
        files = {name.split("/", 1)[1]: z.read(name) for name in members}
    expected = {name for name, _ in PROGRAMS if window or name != WINDOW_PROGRAM}
    expected |= set(OTHER_FILES)
    expected |= {"prometheus/" + name for name in os.listdir(prometheus_dir)}
    expected |= {"docs/" + os.path.relpath(os.path.join(folder, name), docs_dir)
                 for folder, _, names in os.walk(docs_dir) for name in names}
    faults = ["missing: " + name for name in sorted(expected - files.keys())]
    faults += ["not expected: " + name for name in sorted(files.keys() - expected)]
    for name, subsystem in PROGRAMS:
        if name not in files:
            continue
        pe = PeFile(files[name])
        if pe.subsystem != subsystem:
            faults.append("%s: subsystem %s, not %s" % (
                name, SUBSYSTEM_NAMES.get(pe.subsystem, pe.subsystem), SUBSYSTEM_NAMES[subsystem]))
        for dll in pe.imports():
            if dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-"):
                faults.append("%s: needs %s beside it" % (name, dll))
    return faults


def main(argv):
    if len(argv) >= 3 and argv[0] == "resources":
        faults = [f for path in argv[2:] for f in check_resources(argv[1], path)]
    elif len(argv) in (4, 5) and argv[0] == "package" and argv[4:] in ([], ["--window"]):
        faults = check_package(argv[1], argv[2], argv[3], argv[4:] == ["--window"])
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    for fault in faults:
        print("FAIL: " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
