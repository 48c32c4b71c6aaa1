#!/usr/bin/env python3
"""The icon a Windows program shows (its first icon group) as an .ico file.

usage: exe_icon.py PROGRAM.exe OUTPUT.ico

The installer's shortcuts and its entry in "Installed apps" carry the
programs' own icons; an icon of its own keeps the package small (the
program itself would be stored a second time).
"""
import struct
import sys
from pathlib import Path

RT_ICON = 3
RT_GROUP_ICON = 14
RESOURCE_DIRECTORY = 2  # index among the optional header's data directories


class NoIcon(Exception):
    pass


def _resources(image):
    """(resource section bytes mapper, resource directory offset)."""
    if image[:2] != b"MZ":
        raise NoIcon("not a Windows program")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise NoIcon("not a Windows program")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rva, size = struct.unpack_from("<II", image, directories + 8 * RESOURCE_DIRECTORY)
    if not rva or not size:
        raise NoIcon("the program has no resources")
    table = [struct.unpack_from("<8xIIII", image, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(address):
        for virtual_size, virtual_address, raw_size, raw_pointer in table:
            if virtual_address <= address < virtual_address + max(virtual_size, raw_size):
                return raw_pointer + address - virtual_address
        raise NoIcon(f"address {address:#x} lies in no section")

    return offset, offset(rva)


def _entries(image, root, directory):
    named, ids = struct.unpack_from("<12xHH", image, root + directory)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", image, root + directory + 16 + 8 * i)
        yield name, target


def _data(image, offset, root, target):
    """Follows subdirectories (first language) down to the data."""
    while target & 0x80000000:
        target = next(_entries(image, root, target & 0x7FFFFFFF))[1]
    rva, size = struct.unpack_from("<II", image, root + target)
    start = offset(rva)
    return image[start:start + size]


def icon_of(program):
    image = Path(program).read_bytes()
    offset, root = _resources(image)
    types = dict(_entries(image, root, 0))
    if RT_GROUP_ICON not in types or RT_ICON not in types:
        raise NoIcon(f"{program} has no icon")
    groups = list(_entries(image, root, types[RT_GROUP_ICON] & 0x7FFFFFFF))
    group = _data(image, offset, root, groups[0][1])
    icons = {name: target for name, target in
             _entries(image, root, types[RT_ICON] & 0x7FFFFFFF)}
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    header = struct.pack("<HHH", 0, kind, count)
    entries, images = b"", b""
    position = 6 + 16 * count
    for i in range(count):
        fields = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        picture = _data(image, offset, root, icons[fields[7]])
        entries += struct.pack("<BBBBHHII", *fields[:6], len(picture), position + len(images))
        images += picture
    return header + entries + images


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        Path(sys.argv[2]).write_bytes(icon_of(sys.argv[1]))
    except NoIcon as problem:
        sys.exit(f"exe_icon: {problem}")


if __name__ == "__main__":
    main()
