#!/usr/bin/env python3
"""The bundle checker against real faults: each case copies a freshly
built and checked tessel~.mxo (or tessel~.pd_darwin), breaks one thing in
it as a faulty build could, and expects the checker to name that fault.

  check_bundle_test.py TESSEL.mxo CHECKER-OPTIONS... [--pd TESSEL.pd_darwin PD-OPTIONS...]
                                                     (as the build passes them)
"""

import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_bundle  # noqa: E402

BUNDLE = None
OPTIONS = []
PD_EXTERNAL = None
PD_OPTIONS = []
CHECKER = Path(__file__).resolve().parent / "check_bundle.py"


def executable(bundle):
    return bundle / "Contents" / "MacOS" / "tessel~"


def slice_offset(data, cputype):
    count = struct.unpack_from(">I", data, 4)[0]
    for i in range(count):
        cpu, _, off, _, _ = struct.unpack_from(">5I", data, 8 + 20 * i)
        if cpu == cputype:
            return off
    raise AssertionError(f"no slice {cputype:#x}")


def edit(bundle, change):
    path = executable(bundle) if bundle.is_dir() else bundle
    data = bytearray(path.read_bytes())
    change(data)
    path.write_bytes(bytes(data))


def rename(old, new):
    """Every occurrence of a name, as a linker given a wrong one writes it."""
    def change(data):
        assert len(old) == len(new) and bytes(data).count(old + b"\0"), old
        data[:] = bytes(data).replace(old + b"\0", new + b"\0")
    return change


def at_slice(cputype, offset, value, fmt="<I"):
    def change(data):
        struct.pack_into(fmt, data, slice_offset(data, cputype) + offset, value)
    return change


def flip_code_byte(data):
    off = slice_offset(data, check_bundle.CPU_ARM64) + 0x1000 + 77
    data[off] ^= 0x40


def minos_10_15(data):
    base = slice_offset(data, check_bundle.CPU_X86_64)
    ncmds = struct.unpack_from("<I", data, base + 16)[0]
    pos = base + 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<2I", data, pos)
        if cmd == check_bundle.LC_BUILD_VERSION:
            struct.pack_into("<I", data, pos + 12, (10 << 16) | (15 << 8))
            return
        pos += size
    raise AssertionError("no LC_BUILD_VERSION")


def thin_x86_64(data):
    count = struct.unpack_from(">I", data, 4)[0]
    for i in range(count):
        cpu, _, off, size, _ = struct.unpack_from(">5I", data, 8 + 20 * i)
        if cpu == check_bundle.CPU_X86_64:
            data[:] = data[off:off + size]
            return


def plist_key(key, value):
    def change(bundle):
        path = bundle / "Contents" / "Info.plist"
        text = path.read_text()
        start = text.index(f"<key>{key}</key>")
        a = text.index("<string>", start) + len("<string>")
        b = text.index("</string>", a)
        path.write_text(text[:a] + value + text[b:])
    return change


class CheckBundle(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp())
        self.bundle = self.dir / "tessel~.mxo"
        shutil.copytree(BUNDLE, self.bundle, symlinks=True)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def problems(self):
        args = check_bundle.argparse.Namespace(**dict(
            zip(("identifier", "version", "flat_names", "framework", "libsystem"),
                (OPTIONS[OPTIONS.index(f"--{k}") + 1] for k in
                 ("identifier", "version", "flat-names", "framework", "libsystem")))))
        return check_bundle.check_bundle(self.bundle, args)

    # Each case on a fresh copy of the bundle: the checker must name the fault.
    def assert_each_named(self, cases, apply):
        for what, change, expected in cases:
            with self.subTest(what):
                self.tearDown()
                self.setUp()
                apply(change)
                problems = self.problems()
                self.assertTrue(any(expected in p for p in problems), f"{expected!r} not in {problems}")

    def test_the_built_bundle_passes_and_a_broken_one_is_removed(self):
        self.assertEqual(self.problems(), [])
        ok = subprocess.run([sys.executable, CHECKER, self.bundle, *OPTIONS], capture_output=True)
        self.assertEqual(ok.returncode, 0, ok.stderr)
        self.assertTrue(executable(self.bundle).exists())
        edit(self.bundle, flip_code_byte)
        bad = subprocess.run([sys.executable, CHECKER, self.bundle, *OPTIONS], capture_output=True, text=True)
        self.assertEqual(bad.returncode, 1)
        self.assertIn("arm64: page 1 ", bad.stderr)
        self.assertFalse(self.bundle.exists())

    def test_each_fault_is_named(self):
        cases = [
            ("a changed code byte", flip_code_byte, "arm64: page 1 "),
            ("a dynamic library, not a bundle", at_slice(check_bundle.CPU_X86_64, 12, 6), "x86_64: file type 6"),
            ("built for macOS 10.15", minos_10_15, "x86_64: build version [platform 1 minos 10.15]"),
            ("one processor only", thin_x86_64, "no arm64 slice"),
            ("another name exported", rename(b"_ext_main", b"_ext_mair"), "exports ['_ext_mair']"),
            ("a Max name outside the SDK's list", rename(b"_gensym", b"_gensyn"),
             "leaves _gensyn to flat lookup"),
            ("a C library name libSystem lacks", rename(b"_strcpy", b"_strcpz"),
             "binds _strcpz to /usr/lib/libSystem.B.dylib"),
            ("an MSP name the audio stub lacks", rename(b"_dsp_add64", b"_dsp_add65"), "binds _dsp_add65 to @"),
            ("another library", rename(b"/usr/lib/libSystem.B.dylib", b"/usr/lib/libSystem.C.dylib"),
             "loads /usr/lib/libSystem.C.dylib"),
        ]
        self.assert_each_named(cases, lambda change: edit(self.bundle, change))

    def test_bundle_information_faults_are_named(self):
        def pkginfo_newline(bundle):
            (bundle / "Contents" / "PkgInfo").write_bytes(b"iLaX????\n")

        def plist_cut(bundle):
            path = bundle / "Contents" / "Info.plist"
            path.write_bytes(path.read_bytes()[:200])

        cases = [
            ("PkgInfo with a newline", pkginfo_newline, "PkgInfo is b'iLaX????\\n'"),
            ("Info.plist cut short", plist_cut, "Info.plist does not parse"),
            ("another identifier", plist_key("CFBundleIdentifier", "org.tessel-brindle.tesel"),
             "CFBundleIdentifier is 'org.tessel-brindle.tesel'"),
            ("another version", plist_key("CFBundleShortVersionString", "0.9"),
             "CFBundleShortVersionString is '0.9'"),
            ("another package type", plist_key("CFBundlePackageType", "APPL"), "CFBundlePackageType is 'APPL'"),
        ]
        self.assert_each_named(cases, lambda change: change(self.bundle))

    def test_an_executable_other_than_the_bundles_name(self):
        plist_key("CFBundleExecutable", "tessel")(self.bundle)
        executable(self.bundle).rename(self.bundle / "Contents" / "MacOS" / "tessel")
        self.assertTrue(any("CFBundleExecutable is 'tessel'" in p for p in self.problems()))


class CheckPdExternal(unittest.TestCase):
    def test_each_fault_is_named(self):
        if PD_EXTERNAL is None:
            self.skipTest("no Pd external built")
        args = check_bundle.argparse.Namespace(export=PD_OPTIONS[PD_OPTIONS.index("--export") + 1],
                                               pd_names=PD_OPTIONS[PD_OPTIONS.index("--pd-names") + 1],
                                               libsystem=PD_OPTIONS[PD_OPTIONS.index("--libsystem") + 1])
        cases = [
            ("as built", None, None),
            ("another name exported", rename(b"_tessel_tilde_setup", b"_tessel_tilde_setuq"),
             "exports ['_tessel_tilde_setuq']"),
            ("a name Pd's headers do not declare", rename(b"_gensym", b"_gensyn"), "leaves _gensyn to flat lookup"),
            ("another library", rename(b"/usr/lib/libSystem.B.dylib", b"/usr/lib/libSystem.C.dylib"),
             "loads /usr/lib/libSystem.C.dylib"),
        ]
        for what, change, expected in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as tmp:
                external = Path(tmp) / PD_EXTERNAL.name
                shutil.copyfile(PD_EXTERNAL, external)
                if change:
                    edit(external, change)
                problems = check_bundle.check_pd_external(external, args)
                if expected is None:
                    self.assertEqual(problems, [])
                else:
                    self.assertTrue(any(expected in p for p in problems), f"{expected!r} not in {problems}")


if __name__ == "__main__":
    BUNDLE = Path(sys.argv[1])
    OPTIONS = sys.argv[2:]
    if "--pd" in OPTIONS:
        i = OPTIONS.index("--pd")
        PD_EXTERNAL, PD_OPTIONS, OPTIONS = Path(OPTIONS[i + 1]), OPTIONS[i + 2:], OPTIONS[:i]
    unittest.main(argv=[sys.argv[0], "-v"])
