#!/usr/bin/env python3
"""Reads each object's Max reference page as Max would, with an XML
parser, and checks it against the object's reference file:

  maxref_test.py DOCS_DIR JSON...

DOCS_DIR/OBJECT.maxref.xml must parse, have a c74object root named after
the object with every part Max's reference window and inspector read, and
list every message with its arguments, every argument, inlet and outlet."""

import json
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

PARTS = ["digest", "description", "metadatalist", "objarglist", "methodlist", "inletlist", "outletlist",
         "seealsolist"]


def check(docs, ref):
    faults = []
    name = ref["name"]
    path = Path(docs, name + ".maxref.xml")
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as e:
        return [f"{path}: {e}"]
    if root.tag != "c74object" or root.get("name") != name:
        faults.append(f"root <{root.tag} name={root.get('name')!r}>, not <c74object name={name!r}>")
    faults += [f"no <{part}>" for part in PARTS if root.find(part) is None]
    faults += [f"empty <{part}>" for part in ("digest", "description") if not (root.findtext(part) or "").strip()]

    def described(where, element):
        if not (element.findtext("digest") or "").strip():
            faults.append(f"{where} has no digest")

    methods = {m.get("name"): m for m in root.iterfind("methodlist/method")}
    if set(methods) != {m["name"] for m in ref["messages"]}:
        faults.append(f"methods {sorted(methods)}, messages {sorted(m['name'] for m in ref['messages'])}")
    for message in ref["messages"]:
        method = methods.get(message["name"])
        if method is None:
            continue
        described(f"method {message['name']}", method)
        want = [(a["name"], a["type"], "1" if a.get("optional") else "0") for a in message.get("args", [])]
        args = method.findall("arglist/arg")
        have = [(a.get("name"), a.get("type"), a.get("optional")) for a in args]
        if method.find("arglist") is None or have != want:
            faults.append(f"method {message['name']}: arguments {have}, not {want}")

    objargs = root.findall("objarglist/objarg")
    if [a.get("name") for a in objargs] != [a["name"] for a in ref.get("arguments", [])]:
        faults.append(f"objargs {[a.get('name') for a in objargs]}")
    for a in objargs:
        described(f"objarg {a.get('name')}", a)
    for kind in ("inlet", "outlet"):
        ports = root.findall(f"{kind}list/{kind}")
        if [p.get("id") for p in ports] != [str(k) for k in range(len(ref[kind + "s"]))]:
            faults.append(f"{kind}s {[p.get('id') for p in ports]}")
        for p in ports:
            described(f"{kind} {p.get('id')}", p)
    if not root.findall("seealsolist/seealso"):
        faults.append("no seealso")
    return [f"{path.name}: {f}" for f in faults]


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    faults = []
    for ref in argv[1:]:
        faults += check(argv[0], json.loads(Path(ref).read_text()))
    print("\n".join(faults) or f"{len(argv) - 1} reference pages in {argv[0]}: passed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
