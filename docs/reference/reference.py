#!/usr/bin/env python3
"""Makes every form of an object's reference from its file here
(docs/reference/OBJECT.json), so that the forms cannot drift apart:

  reference.py help OUT.inc JSON...     the text of "maxhost help OBJECT", as
                                        C++ raw strings for cli/help_text.cpp
  reference.py maxref DIR JSON...       DIR/OBJECT.maxref.xml, the page Max's
                                        reference window and inspector read
  reference.py messages DIR JSON...     DIR/OBJECT.messages, one message a line
                                        with its arguments, for the help tests
  reference.py readme README.md JSON... exit 1, with a diff, when the README's
                                        tables differ from what JSON makes

A "help" text is a string, or a list of its lines as maxhost prints them;
"readme" is an item's wording in the README's tables where it is not that.
"""

import difflib
import json
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

def load(paths):
    return [json.loads(Path(p).read_text()) for p in paths]


def arg_term(arg):
    if "values" in arg:
        return "|".join(str(v) for v in arg["values"])
    return f"[{arg['name']}]" if arg.get("optional") else arg["name"]


def message_term(m):
    return m.get("term") or " ".join([m["name"]] + [arg_term(a) for a in m.get("args", [])])


def many(items):
    # "0 to OUTLETS-1" stands for several ports in one entry.
    return len(items) > 1 or any(" to " in i["term"] for i in items)


def lines(text):
    return text if isinstance(text, list) else [text]


def block(text, indent, first=None):
    first = indent if first is None else first
    return "\n".join((first if k == 0 else indent) + line for k, line in enumerate(lines(text)))


def definitions(heading, rows, note, gap, longest=None):
    """A heading, then each TERM with its text beside it in one column (a term
    too long for the column gets a line of its own), then a note."""
    terms = [t for t, _ in rows if longest is None or len(t) <= longest]
    column = max(15, 4 + max(len(t) for t in terms) + gap)
    out = [f"  {heading}"]
    for term, text in rows:
        head = f"    {term}"
        if len(head) + 1 > column:
            out.append(head)
            head = ""
        out.append(block(text, " " * column, head.ljust(column)))
    if note:
        out.append(block(note, "    "))
    return "\n".join(out)


def help_text(o):
    parts = [f"{o['name'].upper()}\n  {o['usage']}", block(o["help"], "  ")]
    args = o.get("arguments", [])
    if args:
        parts.append(definitions("Arguments" if len(args) > 1 else "Argument",
                                 [(a["name"], a["help"]) for a in args], o.get("argumentsNote"), 2))
    for key, word in (("inlets", "Inlet"), ("outlets", "Outlet")):
        ports = o[key]
        parts.append(definitions(word + "s" * many(ports), [(p["term"], p["help"]) for p in ports], None, 2))
    parts.append(definitions("Messages", [(message_term(m), m["help"]) for m in o["messages"]],
                             o.get("messagesNote"), 1, longest=20))
    if o.get("closing"):
        parts.append(block(o["closing"], "  "))
    return "\n\n".join(parts) + "\n"


def write_help(out, objects):
    # Only the rows: the array is defined in cli/help_text.cpp, so that no
    # global carries this file's path in the build folder (AddressSanitizer
    # records each global's file, and an installed maxhost must not name the
    # build).
    text = "// Made by docs/reference/reference.py from docs/reference/*.json: edit those.\n"
    for o in objects:
        text += f'    {{"{o["name"]}", R"ref({help_text(o)})ref"}},\n'
    Path(out).write_text(text)


def readme_tables(o):
    def row(term, item):
        return f"| {term} | {' '.join(lines(item.get('readme', item['help'])))} |"

    def port(kind, items):
        return [row(kind + "s" if many([i]) else f"{kind} {i['term']}", i) for i in items]

    rows = [row(a["name"], a) for a in o.get("arguments", [])]
    rows += port("inlet", o["inlets"]) + port("outlet", o["outlets"])
    messages = []
    for m in o["messages"]:
        values = [a for a in m.get("args", []) if "values" in a]
        if values:
            term = " / ".join(f"`{m['name']} {v}`" for v in values[0]["values"])
        else:
            term = f"`{message_term(m)}`" + (" (a list)" if m["name"] == "list" else "")
        messages.append(row(term, m))
    return "\n".join([f"### `{o['usage']}`", "", "| | |", "|---|---|", *rows, "",
                      "| message | |", "|---|---|", *messages]) + "\n"


def check_readme(readme, objects):
    text = Path(readme).read_text()
    status = 0
    for o in objects:
        want = readme_tables(o)
        start = text.find(f"### `{o['usage']}`\n")
        if start < 0:
            print(f"{readme}: no heading ### `{o['usage']}`", file=sys.stderr)
            status = 1
            continue
        # The tables run to the first blank line after the messages' table.
        end = text.find("\n\n", text.find("| message | |", start))
        have = text[start:end + 1] if end >= 0 else text[start:]
        if have != want:
            sys.stderr.writelines(difflib.unified_diff(have.splitlines(True), want.splitlines(True),
                                                       f"{readme} (as it is)", f"{o['name']} (as made)"))
            status = 1
    return status


def plain(text):
    return re.sub(r"\s+", " ", " ".join(lines(text)).replace("`", "")).strip()


def maxref(o):
    root = ET.Element("c74object", name=o["name"], module="msp", category=o["category"])

    def text_of(parent, item, digest=None):
        ET.SubElement(parent, "digest").text = plain(digest or item.get("readme", item["help"]))
        ET.SubElement(parent, "description").text = plain(item["help"])

    text_of(root, o, o["digest"])
    meta = ET.SubElement(root, "metadatalist")
    ET.SubElement(meta, "metadata", name="author").text = "tessel-brindle"
    ET.SubElement(meta, "metadata", name="tag").text = o["category"]
    for key in ("inlets", "outlets"):
        ports = ET.SubElement(root, key[:-1] + "list")
        for k, p in enumerate(o[key]):
            text_of(ET.SubElement(ports, key[:-1], id=str(k), type=p["type"]), p)
    args = ET.SubElement(root, "objarglist")
    for a in o.get("arguments", []):
        text_of(ET.SubElement(args, "objarg", name=a["name"], optional="1", type=a["type"]), a)
    methods = ET.SubElement(root, "methodlist")
    for m in o["messages"]:
        method = ET.SubElement(methods, "method", name=m["name"])
        arglist = ET.SubElement(method, "arglist")
        for a in m.get("args", []):
            ET.SubElement(arglist, "arg", name=a["name"], optional=str(int(a.get("optional", False))),
                          type=a["type"])
        text_of(method, m)
    ET.SubElement(root, "attributelist")
    seealso = ET.SubElement(root, "seealsolist")
    for name in o["seealso"]:
        ET.SubElement(seealso, "seealso", name=name)
    ET.indent(root)
    return ('<?xml version="1.0" encoding="utf-8" standalone="yes"?>\n'
            '<?xml-stylesheet href="./_c74_ref.xsl" type="text/xsl"?>\n' + ET.tostring(root, "unicode") + "\n")


def message_line(m):
    """SELECTOR ARG..., each ARG TYPE, "?" when optional, then ":LO..HI" or
    ":V|V" when it has a range or values."""
    words = [m["name"]]
    for a in m.get("args", []):
        word = a["type"] + "?" * a.get("optional", False)
        if "range" in a:
            word += ":" + "..".join(str(v) for v in a["range"])
        elif "values" in a:
            word += ":" + "|".join(str(v) for v in a["values"])
        words.append(word)
    return " ".join(words)


def main(argv):
    if len(argv) < 3 or argv[0] not in ("help", "maxref", "messages", "readme"):
        print(__doc__, file=sys.stderr)
        return 2
    kind, out, objects = argv[0], argv[1], load(argv[2:])
    if kind == "help":
        write_help(out, objects)
    elif kind == "readme":
        return check_readme(out, objects)
    else:
        Path(out).mkdir(parents=True, exist_ok=True)
        for o in objects:
            if kind == "maxref":
                Path(out, o["name"] + ".maxref.xml").write_text(maxref(o))
            else:
                Path(out, o["name"] + ".messages").write_text("".join(message_line(m) + "\n" for m in o["messages"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
