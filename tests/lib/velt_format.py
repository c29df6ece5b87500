"""The installer format's constants, read from the C++ headers that define
them (archive/ and the checksum of core/), so that no test restates one.

Every `constexpr` number and every enumerator of those headers becomes an
attribute under its C++ name: velt_format.kArchiveMagic,
velt_format.PfNeedsMaster, velt_format.kCorruptEndMarker,
velt_format.MsgCorruptArchive. UNINSTALL_MESSAGES is the list of messages
the uninstall record carries, in its order (product/uninstall_data.cpp).

The description's field lists come from the X-macros of
archive/description.h and archive/format.h:
  DESCRIPTION_FIELDS  every field but the arrays, in stream order, as
                      (kind, type, name): kind "value" (type the C++ type),
                      "text" or "bytes" (type None);
  ASSOCIATION_TEXTS   the texts of an association record, in order;
  DATE_WORDS          the words of a stored date, in order.
"""

import os
import re

_ROOT = os.environ.get("VELT_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..")
_HEADERS = ("archive/format.h", "archive/codec.h", "archive/corrupt.h", "archive/messages.h",
            "core/checksum.h")

_CONSTANT = re.compile(r"constexpr\s+[\w:]+\s+(k\w+)\s*=\s*([^;{}]+);")
_TEXT = re.compile(r'constexpr\s+char\s+(k\w+)\[\]\s*=\s*"([^"]*)";')
_ENUMERATOR = re.compile(r"^\s*((?:k|Pf|Ff|Dest|Msg)\w+)\s*=\s*([^,/]+),", re.M)
_NUMBER = re.compile(r"^[0-9a-fA-FxX+\-*() ]+$")


def _value(expression, known):
    expression = re.sub(r"(0[xX][0-9a-fA-F]+|\d+)[uU]?", r"\1", expression.strip())
    expression = re.sub(r"\b[A-Za-z_]\w*\b",
                        lambda m: str(known[m.group(0)]) if m.group(0) in known else m.group(0),
                        expression)
    if not _NUMBER.match(expression):
        return None
    return eval(expression, {"__builtins__": {}})  # digits and operators only


def _read():
    known, texts = {}, {}
    for header in _HEADERS:
        with open(os.path.join(_ROOT, header), encoding="utf-8") as f:
            source = re.sub(r"//[^\n]*", "", f.read())
        for name, text in _TEXT.findall(source):
            texts[name] = text
        for pattern in (_CONSTANT, _ENUMERATOR):
            for name, expression in pattern.findall(source):
                value = _value(expression, known)
                if value is not None:
                    known[name] = value
    return known, texts


_known, _texts = _read()
globals().update(_known)
globals().update(_texts)

with open(os.path.join(_ROOT, "product", "uninstall_data.cpp"), encoding="utf-8") as _f:
    _list = re.search(r"kUninstallMessages\[\d+\]\s*=\s*\{([^}]*)\}", _f.read()).group(1)
UNINSTALL_MESSAGES = tuple(_known[name.strip()] for name in _list.split(","))


# ------------------------------------------------------- field lists

def _macros(*headers):
    """Every function-like macro of the headers: name -> (parameters, body)."""
    macros = {}
    for header in headers:
        with open(os.path.join(_ROOT, header), encoding="utf-8") as f:
            source = f.read()
        source = re.sub(r"/\*.*?\*/", "", source, flags=re.S)
        source = re.sub(r"//[^\n]*", "", source).replace("\\\n", " ")
        for name, parameters, body in re.findall(r"#define\s+(\w+)\(([^)]*)\)([^\n]*)", source):
            macros[name] = ([p.strip() for p in parameters.split(",")], body)
    return macros


def _expand(macros, name, arguments):
    """The calls that macro `name` makes with these arguments, other
    macros of the list expanded: [(callee, [arguments])]."""
    parameters, body = macros[name]
    bound = dict(zip(parameters, arguments))
    calls = []
    for callee, inner in re.findall(r"(\w+)\(([^()]*)\)", body):
        inner = [bound.get(a.strip(), a.strip()) for a in inner.split(",")]
        if callee in macros:
            calls += _expand(macros, callee, inner)
        else:
            calls.append((bound.get(callee, callee), inner))
    return calls


_MACROS = _macros("archive/format.h", "archive/description.h")
DESCRIPTION_FIELDS = tuple(
    (kind.lower(), args[0] if kind == "VALUE" else None, args[-1])
    for kind, args in _expand(_MACROS, "VELT_DESCRIPTION_FIELDS", ["VALUE", "TEXT", "BYTES"]))
ASSOCIATION_TEXTS = tuple(args[0] for _, args in _expand(_MACROS, "VELT_ASSOCIATION_TEXTS", ["X"]))
DATE_WORDS = tuple(args[0] for _, args in _expand(_MACROS, "VELT_DATE_WORDS", ["X"]))
