#!/usr/bin/python3
"""Inspects a built Avendrel.exe without running it.

  inspect_exe.py EXE i386|amd64

Checks the machine, the format and subsystem, the defences (address space
randomisation with its relocations, no execution of data, high-entropy
addresses on x64, terminal-server aware, no section both writable and
executable), that only DLLs every Windows has are imported (none of those
that the program loads itself from the system folder when first needed) and
no screen-resolution awareness is asked for, the size of the shipped 32-bit
exe, and every resource with its exact value: the version block, the
manifest, the icon group MAINICON with its seven images, and the RCDATA
TFORM1 and ARTWORK equal to the source files. Exit 0 pass, 1 fail, 77 skip
(no exe).
"""

import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SKIP = 77

MACHINES = {"i386": (0x014C, 0x10B), "amd64": (0x8664, 0x20B)}  # machine, optional-header magic
SUBSYSTEM_WINDOWS_GUI = 2
# DLLs that come with every Windows; a static build must need nothing else.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "advapi32.dll", "msvcrt.dll", "comctl32.dll", "shlwapi.dll"}
# Loaded by the program itself, from the system folder only, when first needed.
LOADED_WHEN_NEEDED = {"ole32.dll", "shell32.dll"}
DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT, TERMINAL_SERVER_AWARE = 0x40, 0x20, 0x100, 0x8000
RELOCS_STRIPPED = 0x1
SCN_MEM_EXECUTE, SCN_MEM_WRITE = 0x20000000, 0x80000000
MAX_SIZE = {"i386": 1024 * 1024}  # the shipped exe, with all its resources
DPI_FUNCTIONS = {b"SetProcessDPIAware", b"SetProcessDpiAwareness",
                 b"SetProcessDpiAwarenessContext", b"SetThreadDpiAwarenessContext"}
RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 10, 14, 16, 24
VFT_APP, VOS__WINDOWS32 = 0x1, 0x4
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def read(path):
    with open(path, "rb") as file:
        return file.read()


def resources(pe):
    """{type id: {name or id: bytes}} with one language per resource."""
    table = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        entries = {}
        for entry in kind.directory.entries:
            key = str(entry.name) if entry.name is not None else entry.id
            languages = entry.directory.entries
            check(len(languages) == 1, f"resource {kind.id}/{key} has {len(languages)} languages")
            data = languages[0].data.struct
            entries[key] = pe.get_data(data.OffsetToData, data.Size)
        table[kind.id] = entries
    return table


def check_headers(pe, machine):
    want_machine, want_magic = MACHINES[machine]
    check(pe.FILE_HEADER.Machine == want_machine,
          f"machine {pe.FILE_HEADER.Machine:#x}, expected {want_machine:#x}")
    check(pe.OPTIONAL_HEADER.Magic == want_magic,
          f"optional header magic {pe.OPTIONAL_HEADER.Magic:#x}, expected {want_magic:#x}")
    check(pe.OPTIONAL_HEADER.Subsystem == SUBSYSTEM_WINDOWS_GUI,
          f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, expected the GUI subsystem (2)")


def check_defences(pe, machine):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    wanted = {"dynamic base": DYNAMIC_BASE, "NX compatible": NX_COMPAT,
              "terminal-server aware": TERMINAL_SERVER_AWARE}
    if machine == "amd64":
        wanted["high-entropy addresses"] = HIGH_ENTROPY_VA
    for name, bit in wanted.items():
        check(flags & bit, f"DLL characteristics {flags:#x}: not {name}")
    # Randomisation needs the relocations to move the image.
    check(not pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED, "the relocations are stripped")
    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY[
        "IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(relocations.Size > 0, "no relocation directory")
    for section in pe.sections:
        both = SCN_MEM_EXECUTE | SCN_MEM_WRITE
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        check(section.Characteristics & both != both,
              f"section {name} is both writable and executable")
    return flags


def check_imports(pe):
    dlls = {entry.dll.decode().lower(): entry for entry in pe.DIRECTORY_ENTRY_IMPORT}
    extra = sorted(set(dlls) - SYSTEM_DLLS)
    check(not extra, f"imports DLLs that Windows does not bring: {extra}")
    check("kernel32.dll" in dlls, "KERNEL32.dll is not imported")
    early = sorted(set(dlls) & LOADED_WHEN_NEEDED)
    check(not early, f"imports {early}, which the program loads itself when first needed")
    check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "the exe has delay-loaded imports")
    names = {function.name for entry in dlls.values() for function in entry.imports}
    asked = sorted(n.decode() for n in names & DPI_FUNCTIONS)
    check(not asked, f"imports DPI-awareness functions: {asked}")
    return sorted(entry.dll.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT)


def check_version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    want = {"Signature": 0xFEEF04BD, "FileVersionMS": 0x00010000, "FileVersionLS": 0,
            "ProductVersionMS": 0x00010000, "ProductVersionLS": 0, "FileType": VFT_APP,
            "FileOS": VOS__WINDOWS32}
    for field, value in want.items():
        got = getattr(fixed, field)
        check(got == value, f"version block: {field} is {got:#x}, expected {value:#x}")
    string_tables, translations = [], []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            string_tables += [(table.LangID, table.entries) for table in info.StringTable]
        elif info.Key == b"VarFileInfo":
            translations += [var.entry for var in info.Var]
    check(string_tables == [(b"040904E4", {b"FileVersion": b"1.0.0.0",
                                           b"ProductVersion": b"1.0.0.0"})],
          f"version strings: {string_tables}")
    check(translations == [{b"Translation": "0x0409 0x04e4"}], f"translations: {translations}")


def check_manifest(data):
    text = data.decode("utf-8")
    check("dpiaware" not in text.lower(), "the manifest declares screen-resolution awareness")
    root = ElementTree.fromstring(data)
    levels = root.findall(f".//{{{ASM_V3}}}requestedExecutionLevel")
    check([(e.get("level"), e.get("uiAccess")) for e in levels] == [("asInvoker", "false")],
          f"requested execution levels: {[e.attrib for e in levels]}")
    identities = root.findall(
        f"{{{ASM_V1}}}dependency/{{{ASM_V1}}}dependentAssembly/{{{ASM_V1}}}assemblyIdentity")
    want = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
            "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"}
    check([e.attrib for e in identities] == [want], f"dependencies: {[e.attrib for e in identities]}")
    for element in root.iter():
        local = element.tag.rsplit("}", 1)[-1]
        check(local not in ("dpiAware", "dpiAwareness"), f"the manifest has <{local}>")


def image_kind(data):
    """(width, height, bits per pixel, 'png' or 'dib') of one icon image."""
    if data.startswith(b"\x89PNG\r\n\x1a\n"):
        width, height = struct.unpack(">II", data[16:24])
        return width, height, 32, "png"
    size, width, height, _planes, bits = struct.unpack("<IiiHH", data[:16])
    check(size == 40, f"icon image header of {size} bytes")
    return width, height // 2, bits, "dib"  # a DIB icon's height counts the mask too


def check_icons(table):
    groups = table.get(RT_GROUP_ICON, {})
    check(list(groups) == ["MAINICON"], f"icon groups: {list(groups)}")
    group = groups.get("MAINICON")
    if group is None:
        return
    reserved, kind, count = struct.unpack("<HHH", group[:6])
    check((reserved, kind) == (0, 1), "MAINICON is not an icon group")
    icon_file = read(os.path.join(SOURCE, "resources", "avendrel.ico"))
    file_count = struct.unpack("<H", icon_file[4:6])[0]
    check(count == file_count == 7, f"MAINICON has {count} images, the .ico {file_count}")
    icons = table.get(RT_ICON, {})
    found, used = [], set()
    for index in range(min(count, file_count)):
        entry = group[6 + 14 * index:6 + 14 * (index + 1)]
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack("<BBBBHHIH", entry)
        file_entry = icon_file[6 + 16 * index:6 + 16 * (index + 1)]
        f_width, f_height, f_colours, _, f_planes, f_bits, f_size, f_offset = struct.unpack(
            "<BBBBHHII", file_entry)
        check((width, height, colours, planes, bits, size) ==
              (f_width, f_height, f_colours, f_planes, f_bits, f_size),
              f"MAINICON entry {index} differs from the .ico's directory")
        data = icons.get(icon_id)
        if not check(data is not None, f"MAINICON entry {index} names a missing icon {icon_id}"):
            continue
        used.add(icon_id)
        check(data == icon_file[f_offset:f_offset + f_size],
              f"icon {icon_id} differs from image {index} of the .ico")
        found.append(image_kind(data))
    check(set(icons) == used, f"icons outside MAINICON: {sorted(set(icons) - used)}")
    want = sorted([(48, 48, 8, "dib"), (32, 32, 8, "dib"), (16, 16, 8, "dib"),
                   (48, 48, 32, "dib"), (32, 32, 32, "dib"), (16, 16, 32, "dib"),
                   (256, 256, 32, "png")])
    check(sorted(found) == want, f"MAINICON images {sorted(found)}, expected {want}")


def main(argv):
    if len(argv) != 3 or argv[2] not in MACHINES:
        print(__doc__)
        return 2
    exe, machine = argv[1], argv[2]
    if not os.path.exists(exe):
        # The test command builds both; a missing one is a failure.
        print(f"FAIL: {exe} does not exist (build the windows presets first)")
        return 1
    pe = pefile.PE(exe)
    check_headers(pe, machine)
    flags = check_defences(pe, machine)
    size = os.path.getsize(exe)
    if machine in MAX_SIZE:
        check(size <= MAX_SIZE[machine], f"{size} bytes, more than {MAX_SIZE[machine]}")
    dlls = check_imports(pe)
    table = resources(pe)
    check(sorted(table) == sorted([RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST]),
          f"resource types {sorted(table)}")
    check(sorted(table.get(RT_VERSION, {})) == [1], "the version block is not resource 1")
    check(sorted(table.get(RT_MANIFEST, {})) == [1], "the manifest is not resource 1")
    check_version(pe)
    if 1 in table.get(RT_MANIFEST, {}):
        check_manifest(table[RT_MANIFEST][1])
        check(table[RT_MANIFEST][1] == read(os.path.join(SOURCE, "resources", "avendrel.manifest")),
              "the manifest differs from resources/avendrel.manifest")
    check_icons(table)
    data = table.get(RT_RCDATA, {})
    check(sorted(data) == ["ARTWORK", "TFORM1"], f"RCDATA names {sorted(data)}")
    check(data.get("TFORM1") == read(os.path.join(SOURCE, "ui", "Unit1.toml")),
          "TFORM1 differs from ui/Unit1.toml")
    check(data.get("ARTWORK") == read(os.path.join(SOURCE, "resources", "artwork.png")),
          "ARTWORK differs from resources/artwork.png")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{exe}: {size} bytes, DLL characteristics {flags:#x}, imports {', '.join(dlls)}")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        print(f"  {name:8} {section.Misc_VirtualSize:8} bytes")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
