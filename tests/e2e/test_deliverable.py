"""The 32-bit programs as files: 32-bit code that may use 4 GB, an embedded
application manifest and version information."""
import json
import struct

import pytest

from kvharness import BUILD, REPO

WIN32 = BUILD / "win32"
PROGRAMS = ["KvCaptureExt.exe", "KvCaptureCrxInstall.exe"]
RT_VERSION, RT_MANIFEST = 16, 24


class PortableExecutable:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0"
        self.machine, sections, _, _, _, optional_size, self.characteristics = \
            struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, va, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(rva)

    def resources(self, kind):
        """The data of every resource of `kind` (an integer type)."""
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                yield ident, target

        found = []
        for ident, target in entries(0):
            if ident != kind:
                continue
            for _, name_dir in entries(target & 0x7FFFFFFF):
                for _, leaf in entries(name_dir & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    found.append(self.data[self.offset(rva):self.offset(rva) + size])
        return found


@pytest.mark.parametrize("name", PROGRAMS)
def test_32_bit_program_with_manifest_and_version(name):
    path = WIN32 / name
    if not path.exists():
        pytest.skip("the 32-bit programs are not built")
    exe = PortableExecutable(path.read_bytes())
    assert exe.machine == 0x14C                # x86
    assert exe.characteristics & 0x0020        # large-address-aware

    (manifest,) = exe.resources(RT_MANIFEST)
    text = manifest.decode("utf-8")
    assert 'level="asInvoker"' in text
    assert 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in text
    # Physical pixels on every monitor; both scale what they draw themselves.
    assert ">PerMonitorV2, PerMonitor</dpiAwareness>" in text
    assert ">true/pm</dpiAware>" in text
    for os_id in ("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
        assert os_id in text
    assert "activeCodePage" not in text       # the system's ANSI code page stays

    (version,) = exe.resources(RT_VERSION)
    strings = version.decode("utf-16-le", "replace")
    expected = json.loads((REPO / "extension" / "manifest.json").read_text())["version"]
    assert "ProductVersion" in strings and expected in strings
    assert name in strings
    major, minor, patch = (int(p) for p in expected.split("."))
    fixed = version.index(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<II", version, fixed + 8)
    assert (ms >> 16, ms & 0xFFFF, ls >> 16) == (major, minor, patch)
