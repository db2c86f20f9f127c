"""Reading .reg files into one normalized form, so that two exports compare
equal when they differ only in format: text encoding (UTF-16LE with BOM,
UTF-8, ANSI), line endings, continuation lines, the order of keys and values,
the spelling of hex data versus quoted strings, and the abbreviations of the
root keys."""

import re

ROOTS = {
    "hkcr": "HKEY_CLASSES_ROOT", "hkey_classes_root": "HKEY_CLASSES_ROOT",
    "hkcu": "HKEY_CURRENT_USER", "hkey_current_user": "HKEY_CURRENT_USER",
    "hklm": "HKEY_LOCAL_MACHINE", "hkey_local_machine": "HKEY_LOCAL_MACHINE",
    "hku": "HKEY_USERS", "hkey_users": "HKEY_USERS",
}
# HKEY_CLASSES_ROOT is the view of this key; either name may come out of an export.
CLASSES = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7


class RegFormatError(ValueError):
    pass


def decode(raw):
    """The text of a .reg file; the header tells whether hex strings are UTF-16."""
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    if raw.startswith(b"\xef\xbb\xbf"):
        raw = raw[3:]
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252", errors="replace")


def canonical_key(path):
    parts = path.strip().split("\\")
    root = ROOTS.get(parts[0].lower())
    if root is None:
        raise RegFormatError("unknown root key in [%s]" % path)
    key = "\\".join([root] + [p for p in parts[1:]])
    if key.lower().startswith(CLASSES.lower() + "\\") or key.lower() == CLASSES.lower():
        key = "HKEY_CLASSES_ROOT" + key[len(CLASSES):]
    return key.rstrip("\\")


def _unquote(text, pos):
    """The quoted string starting at text[pos] ('"'), and the position after it."""
    out = []
    i = pos + 1
    escapes = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "0": "\0"}
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append(escapes.get(text[i + 1], "\\" + text[i + 1]))
            i += 2
        elif c == '"':
            return "".join(out), i + 1
        else:
            out.append(c)
            i += 1
    raise RegFormatError("unterminated string: %s" % text)


def _hex_bytes(text):
    text = text.replace(" ", "").replace("\t", "").rstrip(",")
    if not text:
        return b""
    try:
        return bytes(int(b, 16) for b in text.split(","))
    except ValueError:
        raise RegFormatError("bad hex data: %s" % text)


def _parse_data(data, unicode_file):
    """(type, value) in one form whatever the spelling: strings as str, a list
    for REG_MULTI_SZ, an int for REG_DWORD, bytes for everything else."""
    if data == "-":
        return None
    if data.startswith('"'):
        value, end = _unquote(data, 0)
        if data[end:].strip():
            raise RegFormatError("junk after string: %s" % data)
        return (REG_SZ, value)
    m = re.fullmatch(r"dword:([0-9a-fA-F]{1,8})", data)
    if m:
        return (REG_DWORD, int(m.group(1), 16))
    m = re.fullmatch(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)", data, re.S)
    if not m:
        raise RegFormatError("unknown data: %s" % data)
    kind = int(m.group(1), 16) if m.group(1) else REG_BINARY
    raw = _hex_bytes(m.group(2))
    if kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ):
        text = raw.decode("utf-16-le" if unicode_file else "cp1252", errors="replace")
        if kind == REG_MULTI_SZ:
            return (kind, [s for s in text.split("\0") if s])
        return (kind, text.split("\0", 1)[0])
    if kind == REG_DWORD and len(raw) == 4:
        return (REG_DWORD, int.from_bytes(raw, "little"))
    return (kind, raw)


def parse(raw):
    """{key: {value name: (type, value) or None}}, or None for a key marked
    [-key]. The default value is named "@"; None marks a value "=-"."""
    text = decode(raw)
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    while lines and not lines[0].strip():
        lines.pop(0)
    if not lines:
        return {}
    header = lines.pop(0).strip()
    if header == "Windows Registry Editor Version 5.00":
        unicode_file = True
    elif header == "REGEDIT4":
        unicode_file = False
    else:
        raise RegFormatError("not a .reg file (header %r)" % header)
    keys = {}
    current = None
    i = 0
    while i < len(lines):
        line = lines[i].strip()
        i += 1
        while line.endswith("\\") and not line.startswith("[") and i < len(lines):
            line = line[:-1] + lines[i].strip()
            i += 1
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            if not line.endswith("]"):
                raise RegFormatError("bad key line: %s" % line)
            name = line[1:-1]
            if name.startswith("-"):
                keys[canonical_key(name[1:])] = None
                current = None
            else:
                current = canonical_key(name)
                keys.setdefault(current, {})
            continue
        if current is None:
            raise RegFormatError("value outside a key: %s" % line)
        if line.startswith("@="):
            name, rest = "@", line[2:]
        elif line.startswith('"'):
            name, end = _unquote(line, 0)
            if not line[end:].startswith("="):
                raise RegFormatError("bad value line: %s" % line)
            rest = line[end + 1:]
        else:
            raise RegFormatError("bad value line: %s" % line)
        keys[current][name] = _parse_data(rest.strip(), unicode_file)
    return keys


def roots(keys):
    """The topmost keys: those with no ancestor among the keys."""
    names = sorted(keys, key=str.lower)
    out = []
    for k in names:
        if not any(k.lower().startswith(r.lower() + "\\") for r in out):
            out.append(k)
    return out


def subtree(keys, root):
    low = root.lower()
    return {k: v for k, v in keys.items() if k.lower() == low or k.lower().startswith(low + "\\")}


def respell_root(keys, root):
    """The same keys with the root part spelled as in `root`: an export spells
    the key it was asked for as it was asked, its subkeys as they are stored."""
    out = {}
    n = len(root)
    for k, v in keys.items():
        out[root + k[n:] if k.lower()[:n] == root.lower() else k] = v
    return out


def _quote(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


def _render_value(value):
    kind, data = value
    if kind == REG_SZ:
        return _quote(data)
    if kind == REG_DWORD:
        return "dword:%08x" % data
    if kind in (REG_EXPAND_SZ,):
        return "str(2):" + _quote(data)
    if kind == REG_MULTI_SZ:
        return "multi:" + ",".join(_quote(s) for s in data)
    return "hex(%x):%s" % (kind, ",".join("%02x" % b for b in data))


def render(keys):
    """The normalized text: keys sorted without regard to case, values sorted
    by name, one line each. Two registries are equal when these are."""
    out = []
    for k in sorted(keys, key=lambda s: (s.lower(), s)):
        values = keys[k]
        if values is None:
            out.append("[-%s]" % k)
            continue
        out.append("[%s]" % k)
        for name in sorted(values, key=lambda s: (s.lower(), s)):
            v = values[name]
            shown = "@" if name == "@" else _quote(name)
            out.append("%s=%s" % (shown, "-" if v is None else _render_value(v)))
    return "\n".join(out) + ("\n" if out else "")


def to_utf16(raw):
    """A .reg file as regedit writes it (UTF-16LE with BOM, CRLF), the form
    that every importer reads."""
    text = decode(raw).replace("\r\n", "\n").replace("\r", "\n")
    if text.startswith("REGEDIT4"):
        text = "Windows Registry Editor Version 5.00" + text[len("REGEDIT4"):]
    return b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le")
