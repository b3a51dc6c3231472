#!/usr/bin/env python3
"""Checks a macOS external as built here, where nothing verifies Mach-O
files: a Max external (a CLASS.mxo bundle) or a Pd external
(CLASS.pd_darwin), and removes it when a check fails, so that no package
is ever made of it.

  check_bundle.py BUNDLE.mxo --identifier ID --version V --flat-names c74_linker_flags.txt
                  --framework MaxAudioAPI.framework/MaxAudioAPI --libsystem libSystem.11.tbd
                  [--keep]
  check_bundle.py CLASS.pd_darwin --export _CLASS_setup --pd-names pd-names.txt
                  --libsystem libSystem.11.tbd [--keep]

For a Max bundle: Contents/Info.plist parses, names the executable, the
identifier, the package type iLaX and the version; Contents/PkgInfo is the
8 bytes iLaX????; the executable holds one x86_64 and one arm64 slice.
For each slice:
- an MH_BUNDLE of that processor, for macOS with minimum version 11.0;
- it exports _ext_main and nothing else;
- every name it leaves to flat lookup (found in Max when Max loads it) is
  one of the SDK's list; every name bound to a library is bound to
  MaxAudioAPI and exported by the SDK's stub of it, or to libSystem and
  listed in its stub; it loads no other library;
- its code signature covers everything before it, and every page's hash
  matches the page.
A Pd external holds the same two slices, each checked the same way but
that it exports its setup function alone (--export), every name it leaves
to flat lookup (found in Pd) is one Pd's headers declare (--pd-names, one
name per line, without the underscore), and it loads libSystem alone.
Every failure is reported, not only the first.  --keep leaves a failing
external in place (the checker's own tests use it).
"""

import argparse
import hashlib
import plistlib
import re
import shutil
import struct
import sys
import xml.parsers.expat
from pathlib import Path

CPU_X86_64 = 0x01000007
CPU_ARM64 = 0x0100000C
SLICES = {CPU_X86_64: "x86_64", CPU_ARM64: "arm64"}

MH_MAGIC_64 = 0xFEEDFACF
MH_BUNDLE = 8
FAT_MAGIC = 0xCAFEBABE

LC_SYMTAB = 0x2
LC_LOAD_DYLIB = 0xC
LC_ID_DYLIB = 0xD
LC_CODE_SIGNATURE = 0x1D
LC_LAZY_LOAD_DYLIB = 0x20
LC_DYLD_INFO = 0x22
LC_BUILD_VERSION = 0x32
LC_REQ_DYLD = 0x80000000
LC_LOAD_WEAK_DYLIB = 0x18 | LC_REQ_DYLD
LC_REEXPORT_DYLIB = 0x1F | LC_REQ_DYLD
LC_DYLD_INFO_ONLY = 0x22 | LC_REQ_DYLD
LC_LOAD_UPWARD_DYLIB = 0x23 | LC_REQ_DYLD
LC_DYLD_EXPORTS_TRIE = 0x33 | LC_REQ_DYLD
LC_DYLD_CHAINED_FIXUPS = 0x34 | LC_REQ_DYLD
LOADS = {LC_LOAD_DYLIB, LC_LOAD_WEAK_DYLIB, LC_REEXPORT_DYLIB, LC_LAZY_LOAD_DYLIB, LC_LOAD_UPWARD_DYLIB}

PLATFORM_MACOS = 1
MINOS_11 = 11 << 16
FLAT_LOOKUP = -2  # BIND_SPECIAL_DYLIB_FLAT_LOOKUP
LIBSYSTEM = "/usr/lib/libSystem.B.dylib"
PKGINFO = b"iLaX????"

CSMAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CSMAGIC_CODEDIRECTORY = 0xFADE0C02
CS_HASHES = {1: hashlib.sha1, 2: hashlib.sha256}


class Broken(Exception):
    """A structure that does not hold together."""


class Cursor:
    """Bounds-checked reads from a byte range."""

    def __init__(self, data, pos=0, end=None):
        self.data = data
        self.pos = pos
        self.end = len(data) if end is None else end
        if not 0 <= pos <= self.end <= len(data):
            raise Broken(f"range {pos}..{end} outside {len(data)} bytes")

    def take(self, n):
        if n < 0 or self.pos + n > self.end:
            raise Broken(f"read of {n} bytes at {self.pos} past {self.end}")
        b = self.data[self.pos:self.pos + n]
        self.pos += n
        return b

    def u8(self):
        return self.take(1)[0]

    def unpack(self, fmt):
        return struct.unpack(fmt, self.take(struct.calcsize(fmt)))

    def uleb(self):
        value = shift = 0
        while True:
            b = self.u8()
            if shift > 63:
                raise Broken("ULEB128 longer than 64 bits")
            value |= (b & 0x7F) << shift
            shift += 7
            if b < 0x80:
                return value

    def sleb(self):
        value = shift = 0
        while True:
            b = self.u8()
            value |= (b & 0x7F) << shift
            shift += 7
            if b < 0x80:
                return value - (1 << shift) if b & 0x40 else value

    def cstring(self):
        end = self.data.find(b"\0", self.pos, self.end)
        if end < 0:
            raise Broken(f"string at {self.pos} not terminated")
        s = self.data[self.pos:end].decode("utf-8", "replace")
        self.pos = end + 1
        return s


def region(data, off, size):
    if off < 0 or size < 0 or off + size > len(data):
        raise Broken(f"range {off}+{size} outside {len(data)} bytes")
    return data[off:off + size]


class MachO:
    """The parts of one 64-bit Mach-O slice the checks read."""

    def __init__(self, data):
        self.data = data
        c = Cursor(data)
        magic, self.cputype, _, self.filetype, ncmds, sizeofcmds, _, _ = c.unpack("<8I")
        if magic != MH_MAGIC_64:
            raise Broken(f"not a 64-bit little-endian Mach-O file (magic {magic:#x})")
        self.commands = []  # (cmd, Cursor over the command's body)
        self.dylibs = []  # install names, in load order (ordinal 1 first)
        self.install_name = None
        self.build_versions = []  # (platform, minos)
        self.dyld_info = None
        self.exports_trie = None
        self.signature = None
        self.chained_fixups = False
        c.end = min(len(data), 32 + sizeofcmds)
        for _ in range(ncmds):
            start = c.pos
            cmd, size = c.unpack("<2I")
            if size < 8:
                raise Broken(f"load command {cmd:#x} of size {size}")
            body = Cursor(data, c.pos, start + size)
            c.take(size - 8)
            if cmd in LOADS or cmd == LC_ID_DYLIB:
                (name_off,) = body.unpack("<I")
                name = Cursor(data, start + name_off, start + size).cstring()
                if cmd == LC_ID_DYLIB:
                    self.install_name = name
                else:
                    self.dylibs.append(name)
            elif cmd == LC_BUILD_VERSION:
                platform, minos, _, _ = body.unpack("<4I")
                self.build_versions.append((platform, minos))
            elif cmd in (LC_DYLD_INFO, LC_DYLD_INFO_ONLY):
                self.dyld_info = body.unpack("<10I")
            elif cmd == LC_DYLD_EXPORTS_TRIE:
                self.exports_trie = body.unpack("<2I")
            elif cmd == LC_CODE_SIGNATURE:
                self.signature = body.unpack("<2I")
            elif cmd == LC_DYLD_CHAINED_FIXUPS:
                self.chained_fixups = True

    def exports(self):
        if self.exports_trie:
            off, size = self.exports_trie
        elif self.dyld_info:
            off, size = self.dyld_info[8], self.dyld_info[9]
        else:
            return set()
        trie = region(self.data, off, size)
        names, seen, todo = set(), set(), [(0, "")]
        while todo:
            node, prefix = todo.pop()
            if node in seen:
                raise Broken("export trie loops")
            seen.add(node)
            c = Cursor(trie, node)
            info = c.uleb()
            if info:
                names.add(prefix)
                c.take(info)
            for _ in range(c.u8()):
                edge = c.cstring()
                todo.append((c.uleb(), prefix + edge))
        return names

    def bindings(self):
        """(library ordinal, name) of every binding: ordinal 1 is the
        first library loaded, FLAT_LOOKUP a name left to flat lookup."""
        if not self.dyld_info:
            return set()
        info = self.dyld_info
        bound, _ = walk_binds(region(self.data, info[2], info[3]))
        lazy, _ = walk_binds(region(self.data, info[6], info[7]))
        return bound | lazy

    def weak_names(self):
        """Every name of the weak binding information: names that dyld
        coalesces across every image loaded."""
        if not self.dyld_info:
            return set()
        return walk_binds(region(self.data, self.dyld_info[4], self.dyld_info[5]))[1]

    def signature_problems(self):
        if not self.signature:
            return ["no code signature"]
        off, size = self.signature
        blob = region(self.data, off, size)
        c = Cursor(blob)
        magic, _, count = c.unpack(">3I")
        if magic != CSMAGIC_EMBEDDED_SIGNATURE:
            return [f"code signature of magic {magic:#x}"]
        directories = []
        for _ in range(count):
            slot, blob_off = c.unpack(">2I")
            d = Cursor(blob, blob_off)
            if d.unpack(">I")[0] == CSMAGIC_CODEDIRECTORY:
                directories.append(blob_off)
        if not directories:
            return ["code signature without a code directory"]
        problems = []
        for cd_off in directories:
            d = Cursor(blob, cd_off)
            (_, _, _, _, hash_off, _, _, n_code, code_limit, hash_size, hash_type, _, page_log) = \
                d.unpack(">9I4B")
            if hash_type not in CS_HASHES:
                problems.append(f"code directory of hash type {hash_type}")
                continue
            if code_limit != off:
                problems.append(f"code signature covers {code_limit} bytes, not the {off} before it")
            page = 1 << page_log if page_log else code_limit
            if n_code != (code_limit + page - 1) // page:
                problems.append(f"{n_code} page hashes for {code_limit} bytes of {page}-byte pages")
                continue
            hashes = Cursor(blob, cd_off + hash_off)
            for i in range(n_code):
                want = hashes.take(hash_size)
                got = CS_HASHES[hash_type](self.data[i * page:min((i + 1) * page, code_limit)]).digest()
                if got[:hash_size] != want:
                    problems.append(f"page {i} (bytes {i * page}..) does not match its hash in the signature")
        return problems


def walk_binds(info):
    """Runs dyld's binding opcodes: the (ordinal, name) of each binding
    made, and every name the opcodes set."""
    c = Cursor(info)
    bound, names = set(), set()
    ordinal, name = 0, None
    while c.pos < c.end:
        byte = c.u8()
        op, imm = byte & 0xF0, byte & 0x0F
        if op == 0x10:  # library ordinal, immediate
            ordinal = imm
        elif op == 0x20:  # library ordinal, ULEB
            ordinal = c.uleb()
        elif op == 0x30:  # special ordinal: 0 self, -1 main program, -2 flat lookup
            ordinal = imm - 16 if imm else 0
        elif op == 0x40:  # symbol name
            name = c.cstring()
            names.add(name)
        elif op == 0x60:  # addend
            c.sleb()
        elif op in (0x70, 0x80):  # segment and offset, address step
            c.uleb()
        elif op in (0x90, 0xA0, 0xB0, 0xC0):  # bind, then step as the opcode says
            if name is None:
                raise Broken("a binding without a name")
            bound.add((ordinal, name))
            for _ in range({0xA0: 1, 0xC0: 2}.get(op, 0)):
                c.uleb()
        elif op not in (0x00, 0x50):  # done (lazy: one entry's end), type
            raise Broken(f"bind opcode {byte:#x} not read by this checker")
    return bound, names


def slices_of(data):
    """{cputype: slice bytes} of a universal file, or of a thin one."""
    if len(data) >= 8 and struct.unpack(">I", data[:4])[0] == FAT_MAGIC:
        c = Cursor(data, 4)
        out = {}
        for _ in range(c.unpack(">I")[0]):
            cputype, _, off, size, _ = c.unpack(">5I")
            out[cputype] = region(data, off, size)
        return out
    return {MachO(data).cputype: data}


def sdk_flat_names(path):
    names = set(re.findall(r"-Wl,-U,(_[A-Za-z0-9_]+)", Path(path).read_text()))
    if not names:
        raise Broken(f"no -Wl,-U names in {path}")
    return names


def tbd_exports(path, target):
    """The names a text stub (TBD v4) exports for target ('arm64-macos'),
    over all its documents (libSystem re-exports its parts)."""
    names = set()
    section, targets, key, pending = None, [], None, None
    for line in Path(path).read_text().splitlines():
        if pending is not None:
            pending += " " + line
        else:
            m = re.match(r"^(\s*)(- )?([a-z-]+):\s*(.*)$", line)
            if not m:
                continue
            indent, key, value = len(m.group(1)), m.group(3), m.group(4)
            if indent == 0 and not m.group(2):
                section = key
            pending = value
        if pending.startswith("[") and "]" not in pending:
            continue
        items = [i.strip().strip("'\"") for i in pending.strip("[] ").split(",") if i.strip()]
        pending = None
        if key == "targets":
            targets = items
        elif section in ("exports", "reexports") and target in targets and key in (
                "symbols", "weak-symbols", "thread-local-symbols"):
            names.update(items)
    return names


def check_slice(arch, macho, export, flat_ok, flat_list, allowed, allowed_what):
    """allowed: {install name: names its stub exports} of the libraries
    the slice may load, allowed_what says which they are."""
    problems = []
    if macho.filetype != MH_BUNDLE:
        problems.append(f"file type {macho.filetype}, not a bundle (MH_BUNDLE)")
    if macho.build_versions != [(PLATFORM_MACOS, MINOS_11)]:
        shown = ", ".join(f"platform {p} minos {m >> 16}.{(m >> 8) & 0xFF}" for p, m in macho.build_versions)
        problems.append(f"build version [{shown}], not macOS with minos 11.0")
    if macho.chained_fixups:
        problems.append("chained fixups, which this checker does not read")
    exports = macho.exports()
    if exports != {export}:
        problems.append(f"exports {sorted(exports)[:8]}; it must export {export} and nothing else")
    for lib in macho.dylibs:
        if lib not in allowed:
            problems.append(f"loads {lib}, which is {allowed_what}")
    weak = macho.weak_names()
    if weak:
        problems.append(f"binds weak names, which any image could define: {sorted(weak)[:5]}")
    for ordinal, name in sorted(macho.bindings()):
        if ordinal == FLAT_LOOKUP:
            if name not in flat_ok:
                problems.append(f"leaves {name} to flat lookup, and {flat_list} does not name it")
        elif 1 <= ordinal <= len(macho.dylibs):
            lib = macho.dylibs[ordinal - 1]
            if lib in allowed and name not in allowed[lib]:
                problems.append(f"binds {name} to {lib}, whose stub does not export it")
        else:
            problems.append(f"binds {name} to library ordinal {ordinal}")
    problems += macho.signature_problems()
    return [f"{arch}: {p}" for p in problems]


def check_slices(data, check):
    """Runs check(arch, cputype, MachO) on the x86_64 and arm64 slices of
    a universal file, which must hold those two and no other."""
    problems = []
    slices = slices_of(data)
    for cputype in slices:
        if cputype not in SLICES:
            problems.append(f"a slice of CPU type {cputype:#x}")
    for cputype, arch in SLICES.items():
        if cputype not in slices:
            problems.append(f"no {arch} slice")
            continue
        try:
            problems += check(arch, cputype, MachO(slices[cputype]))
        except (Broken, KeyError, struct.error) as e:
            problems.append(f"{arch}: does not hold together: {e!r}")
    return problems


def check_pd_external(path, args):
    try:
        data = path.read_bytes()
        declared = {"_" + n for n in Path(args.pd_names).read_text().split()}
        return check_slices(data, lambda arch, _, macho: check_slice(
            arch, macho, args.export, declared, "Pd's headers",
            {LIBSYSTEM: tbd_exports(args.libsystem, f"{arch}-macos")}, "not libSystem"))
    except (OSError, Broken) as e:
        return [f"{e}"]


def check_bundle(bundle, args):
    problems = []
    contents = bundle / "Contents"
    executable = None
    try:
        with open(contents / "Info.plist", "rb") as f:
            info = plistlib.load(f)
        if not isinstance(info, dict):
            raise ValueError("not a dictionary")
        executable = info.get("CFBundleExecutable")
        want = {
            "CFBundleExecutable": bundle.name[:-len(".mxo")] if bundle.name.endswith(".mxo") else None,
            "CFBundleIdentifier": args.identifier,
            "CFBundlePackageType": "iLaX",
            "CFBundleVersion": args.version,
            "CFBundleShortVersionString": args.version,
        }
        for key, value in want.items():
            if info.get(key) != value:
                problems.append(f"Info.plist: {key} is {info.get(key)!r}, not {value!r}")
    except (OSError, ValueError, xml.parsers.expat.ExpatError) as e:
        problems.append(f"Info.plist does not parse: {e}")
    try:
        pkginfo = (contents / "PkgInfo").read_bytes()
        if pkginfo != PKGINFO:
            problems.append(f"PkgInfo is {pkginfo!r}, not {PKGINFO!r}")
    except OSError as e:
        problems.append(f"no PkgInfo: {e}")
    if not executable:
        return problems
    try:
        data = (contents / "MacOS" / executable).read_bytes()
        audio_slices = slices_of(Path(args.framework).read_bytes())
        flat_ok = sdk_flat_names(args.flat_names)

        def check(arch, cputype, macho):
            audio = MachO(audio_slices[cputype])
            allowed = {LIBSYSTEM: tbd_exports(args.libsystem, f"{arch}-macos"), audio.install_name: audio.exports()}
            return check_slice(arch, macho, "_ext_main", flat_ok, "the SDK's list", allowed,
                               "neither libSystem nor MaxAudioAPI")
        return problems + check_slices(data, check)
    except (OSError, Broken) as e:
        return problems + [f"{e}"]


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("external", type=Path)
    pd = p.add_argument_group("a Pd external (CLASS.pd_darwin)")
    pd.add_argument("--export")
    pd.add_argument("--pd-names")
    mx = p.add_argument_group("a Max external (CLASS.mxo)")
    for option in ("--identifier", "--version", "--flat-names", "--framework"):
        mx.add_argument(option)
    p.add_argument("--libsystem", required=True)
    p.add_argument("--keep", action="store_true")
    args = p.parse_args()
    is_pd = args.external.name.endswith(".pd_darwin")
    needed = ("export", "pd_names") if is_pd else ("identifier", "version", "flat_names", "framework")
    missing = [n for n in needed if getattr(args, n) is None]
    if missing:
        p.error(f"{args.external.name} needs --{', --'.join(n.replace('_', '-') for n in missing)}")
    problems = (check_pd_external if is_pd else check_bundle)(args.external, args)
    if problems:
        for line in problems:
            print(f"{args.external}: {line}", file=sys.stderr)
        if not args.keep:
            if is_pd:
                args.external.unlink(missing_ok=True)
            else:
                shutil.rmtree(args.external, ignore_errors=True)
        return 1
    if is_pd:
        print(f"{args.external}: x86_64 and arm64 bundles for macOS 11, exporting {args.export}, "
              f"signed; every name left to Pd declared by its headers")
    else:
        print(f"{args.external}: x86_64 and arm64 bundles for macOS 11, exporting _ext_main, "
              f"signed; Info.plist and PkgInfo as Max expects")
    return 0


if __name__ == "__main__":
    sys.exit(main())
