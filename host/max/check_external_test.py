#!/usr/bin/env python3
"""The Windows externals' check (check_external.cmake) against real
faults: each case copies a freshly built and checked DLL, breaks one thing
in it as a faulty build could, and expects the check to remove the copy
and name the fault.

  check_external_test.py EXTERNAL.dll EXPORT HOST_DLL CMAKE -D...=... -P check_external.cmake
"""

import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

EXTERNAL = EXPORT = HOST_DLL = None
CHECK = []


def rename(data, old, new):
    """Every occurrence of a NUL-terminated name, as a linker given a wrong
    one writes it into the export or import tables."""
    assert len(old) == len(new) and data.count(old + b"\0"), old
    return data.replace(old + b"\0", new + b"\0")


class CheckExternal(unittest.TestCase):
    def test_each_fault_is_named(self):
        export, dll = EXPORT.encode(), HOST_DLL.encode()
        cases = [
            ("as built", None, None),
            ("another name exported", (export, export[:-1] + b"q"), f"it must export {EXPORT}"),
            ("a name the host does not declare", (b"gensym", b"gensyn"), f"imports gensyn from {HOST_DLL}"),
            ("a DLL the host does not ship", (dll, b"x" + dll[1:]), f"imports from x{HOST_DLL[1:]}"),
        ]
        for what, change, expected in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as tmp:
                module = Path(tmp) / EXTERNAL.name
                data = EXTERNAL.read_bytes()
                module.write_bytes(rename(data, *change) if change else data)
                run = subprocess.run([CHECK[0], f"-DMODULE={module}", *CHECK[1:]], capture_output=True, text=True)
                if expected is None:
                    self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertTrue(module.exists())
                else:
                    self.assertNotEqual(run.returncode, 0)
                    self.assertIn(expected, " ".join(run.stderr.split()))  # CMake wraps its messages
                    self.assertFalse(module.exists())


if __name__ == "__main__":
    EXTERNAL, EXPORT, HOST_DLL, CHECK = Path(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
    unittest.main(argv=[sys.argv[0], "-v"])
