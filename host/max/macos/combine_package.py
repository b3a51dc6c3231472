#!/usr/bin/env python3
"""Lays out one Max package for Windows and macOS from the two builds'
packages, and zips it, keeping the executable bits.

  combine_package.py WINDOWS_PACKAGE MAC_PACKAGE OUT_DIR

WINDOWS_PACKAGE is build-max/max-package/tessel-brindle (the .mxe64
externals, help, licenses, package-info.json), MAC_PACKAGE
build-max-mac/max-package/tessel-brindle (the .mxo bundles, checked by
their build).  OUT_DIR/tessel-brindle/ gets both sets of externals side by
side and a package-info.json declaring both systems;
OUT_DIR/tessel-brindle-VERSION.zip holds it.
"""

import json
import shutil
import stat
import sys
import zipfile
from pathlib import Path

MACINTOSH = {"platform": ["x64", "aarch64"], "min_version": "11.0"}


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    windows, mac, out = (Path(a) for a in sys.argv[1:])
    package = out / windows.name
    bundles = sorted((mac / "externals").glob("*.mxo"))
    if not list((windows / "externals").glob("*.mxe64")) or not bundles:
        print(f"combine_package.py: no .mxe64 in {windows}/externals or no .mxo in {mac}/externals",
              file=sys.stderr)
        return 1
    pages = [f"{e.stem}.maxref.xml" for e in bundles]
    missing = [p for p in pages if not (windows / "docs" / p).is_file()]
    if missing:
        print(f"combine_package.py: no {', '.join(missing)} in {windows}/docs", file=sys.stderr)
        return 1
    shutil.rmtree(package, ignore_errors=True)
    shutil.copytree(windows, package, symlinks=True)
    for bundle in bundles:
        shutil.copytree(bundle, package / "externals" / bundle.name, symlinks=True)

    info_path = package / "package-info.json"
    info = json.loads(info_path.read_text())
    info.setdefault("os", {})["macintosh"] = MACINTOSH
    info_path.write_text(json.dumps(info, indent="\t") + "\n")

    zip_path = out / f"{package.name}-{info['version']}.zip"
    zip_path.unlink(missing_ok=True)
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
        for path in sorted([package, *package.rglob("*")]):
            name = path.relative_to(out).as_posix() + ("/" if path.is_dir() else "")
            entry = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            mode = path.stat().st_mode
            entry.external_attr = (stat.S_IMODE(mode) | (stat.S_IFDIR if path.is_dir() else stat.S_IFREG)) << 16
            if path.is_dir():
                entry.external_attr |= 0x10  # MS-DOS directory flag
                z.writestr(entry, b"")
            else:
                entry.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(entry, path.read_bytes())

    # What a Mac needs to run a bundle's executable: its mode in the zip.
    with zipfile.ZipFile(zip_path) as z:
        for bundle in bundles:
            name = f"{package.name}/externals/{bundle.name}/Contents/MacOS/{bundle.stem}"
            if not (z.getinfo(name).external_attr >> 16) & stat.S_IXUSR:
                print(f"combine_package.py: {name} lost its executable bit in {zip_path}", file=sys.stderr)
                return 1
    print(f"{zip_path}: {package.name}/ with the Windows and macOS externals")
    return 0


if __name__ == "__main__":
    sys.exit(main())
