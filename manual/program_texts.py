"""The texts TAVEX.EXE holds, read from the program's own sources.

The string table (res/string_table.inc, with its ids from res/resource.h)
and the fixed texts (res/fixed_text.h, each under a comment that says in
UTF-8 what its code page 932 bytes read; tests/res holds the two together).
The manual's message list is made from these, and its check reads them
again, so that neither can drift from the program.
"""

import re
from pathlib import Path

_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def _unescape(literal):
    return re.sub(r"\\(.)", lambda m: _ESCAPES.get(m.group(1), m.group(0)), literal)


def string_table(source_dir):
    """[(name, id, text)] in the order of res/string_table.inc."""
    res = Path(source_dir) / "res"
    ids = {}
    for line in (res / "resource.h").read_text(encoding="utf-8").splitlines():
        match = re.match(r"#define\s+(IDS_\w+)\s+(\d+)\s*$", line)
        if match:
            ids[match.group(1)] = int(match.group(2))
    entries = []
    for number, line in enumerate(
            (res / "string_table.inc").read_text(encoding="utf-8").splitlines(), 1):
        if not line.startswith("VELDRA_STRING("):
            continue
        match = re.fullmatch(r'VELDRA_STRING\((IDS_\w+), "((?:[^"\\]|\\.)*)"\)', line)
        if not match or match.group(1) not in ids:
            raise ValueError(f"res/string_table.inc:{number}: not understood: {line}")
        entries.append((match.group(1), ids[match.group(1)], _unescape(match.group(2))))
    if not entries:
        raise ValueError("res/string_table.inc holds no entry")
    return entries


def fixed_texts(source_dir):
    """{name: text} of res/fixed_text.h, in its order."""
    texts = {}
    said = None
    path = Path(source_dir) / "res" / "fixed_text.h"
    for line in path.read_text(encoding="utf-8").splitlines():
        comment = re.match(r'//\s*"(.*)"', line)
        if comment:
            said = _unescape(comment.group(1))
            continue
        constant = re.match(r"inline constexpr char (k\w+)\[\]", line)
        if constant:
            if said is None:
                raise ValueError(f"res/fixed_text.h: {constant.group(1)} has no comment "
                                 "saying what it reads")
            texts[constant.group(1)] = said
            said = None
    if not texts:
        raise ValueError("res/fixed_text.h holds no fixed text")
    return texts
