"""One scenario folder: what it lays out before the run, what it expects after
it, and the parts of a result (the "facets") that are compared. The folder
format is described in tests/scenarios/README.md."""

import hashlib
import os
import shutil
import stat

import regfile

EXPECT_FILES = ("expect.reg", "expect.questions", "expect.files", "expect.started")
FACETS = ("exit", "reg", "questions", "files", "started")
PROBE = "probe"  # C:\probe: the runner's own folder, never part of a listing
WAITPID = "%WAITPID%"  # in a command: the id of the process described by `wait`
# A fixture file holding just this word is laid as a copy of the recorder
# (probe/started, clicker/started.c), and a file equal to the recorder is
# listed as this word: the two backends' recorders differ byte for byte.
RECORDER = "@recorder"


def _read(path, default=None):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def _text(raw):
    """Text whose line endings are not part of what is compared."""
    text = raw.decode("utf-8", errors="surrogateescape").replace("\r\n", "\n")
    return text if not text or text.endswith("\n") else text + "\n"


class Run:
    """One start of a program: which one, its command line (lpCmdLine) and the
    scripted answers for its questions (a comma list)."""

    def __init__(self, program, command_line, answers):
        self.program = program
        self.command_line = command_line
        self.answers = answers

    def uses_wait(self):
        return WAITPID in self.command_line


class Wait:
    """The process that an updater run waits for, from the `wait` file:
    "SECONDS PATH" (it lives that long) or "ended PATH" (it has ended before
    the run). As it ends it records what the file PATH holds."""

    def __init__(self, raw, name):
        words = raw.decode("utf-8").split(None, 1)
        if len(words) != 2:
            raise ValueError("%s: wait must hold SECONDS or 'ended', a blank and a path" % name)
        self.ended = words[0] == "ended"
        self.seconds = 0 if self.ended else float(words[0])
        self.path = words[1].strip()


class Scenario:
    def __init__(self, folder):
        self.folder = folder
        self.name = os.path.basename(folder.rstrip("/"))
        lines = _read(os.path.join(folder, "command"), b"").decode("utf-8").split("\n")
        lines = [line.rstrip("\r") for line in lines]
        while lines and not lines[-1]:
            lines.pop()
        answer_lines = _read(os.path.join(folder, "answers"), b"").decode().split("\n")
        self.runs = []
        for i, line in enumerate(lines):
            program, _, command_line = line.partition(" ")
            if program not in ("ravmosetup", "updater"):
                raise ValueError("%s: each command line must start with ravmosetup or updater"
                                 % self.name)
            answers = answer_lines[i].strip() if i < len(answer_lines) else ""
            self.runs.append(Run(program, command_line, answers))
        if not self.runs:
            raise ValueError("%s: no command" % self.name)
        self.platform = (_read(os.path.join(folder, "platform"), b"winnt").decode().strip()
                         or "winnt")
        self.before_reg = _read(os.path.join(folder, "before.reg"))
        self.files = os.path.join(folder, "files")
        self.attrib = self._read_attrib()
        hosted_only = _read(os.path.join(folder, "hosted-only"))
        self.hosted_only = hosted_only.decode().strip() if hosted_only is not None else None
        self.missing = [n for n in EXPECT_FILES if not os.path.exists(os.path.join(folder, n))]
        wait = _read(os.path.join(folder, "wait"))
        self.wait = Wait(wait, self.name) if wait is not None else None
        if any(r.uses_wait() for r in self.runs) != (self.wait is not None):
            raise ValueError("%s: a wait file and %s in a command go together" % (self.name, WAITPID))
        self.expect_reg = regfile.parse(_read(os.path.join(folder, "expect.reg"), b""))

    def _read_attrib(self):
        out = []
        raw = _read(os.path.join(self.folder, "before.attrib"), b"")
        for line in raw.decode("utf-8").splitlines():
            if line.strip():
                attrs, _, path = line.partition("\t")
                out.append((attrs.strip(), path))
        return out

    def watched_keys(self):
        """The keys compared: the topmost keys of expect.reg (of before.reg
        while expect.reg is still to be written)."""
        keys = self.expect_reg
        if not keys and self.before_reg and "expect.reg" in self.missing:
            keys = regfile.parse(self.before_reg)
        return regfile.roots(keys)

    def cleared_keys(self):
        """Keys removed before before.reg is imported, so that a registry's
        own defaults (a Wine prefix has some) cannot leak into the result."""
        keys = dict(self.expect_reg)
        if self.before_reg:
            keys.update(regfile.parse(self.before_reg))
        return regfile.roots(keys)

    def file_roots(self):
        """Top-level folders under C: whose contents are listed after the run."""
        names = set(os.listdir(self.files)) if os.path.isdir(self.files) else set()
        raw = _read(os.path.join(self.folder, "expect.files"), b"")
        for line in raw.decode("utf-8").splitlines():
            parts = line.split("\t")
            if len(parts) >= 2 and parts[1]:
                names.add(parts[1].split("\\")[0])
        names.discard(PROBE)
        return sorted(names, key=str.lower)

    def expected(self):
        """The expected value of each facet (None for one still to be written)."""
        def facet(name, convert):
            raw = _read(os.path.join(self.folder, name))
            return None if raw is None else convert(raw)

        return {
            "exit": "0\n" * len(self.runs),  # both programs exit with 0 in every case
            "reg": facet("expect.reg", lambda raw: regfile.render(regfile.parse(raw))),
            "questions": facet("expect.questions", _text),
            "files": facet("expect.files", _text),
            "started": facet("expect.started", _text),
        }


# Attribute bits as both the hosted layer and Wine keep them on Linux:
# READONLY = no write bits, HIDDEN/SYSTEM/ARCHIVE in user.DOSATTRIB.
ATTR_BITS = (("R", 0x1), ("H", 0x2), ("S", 0x4), ("D", 0x10), ("A", 0x20))
XATTR = "user.DOSATTRIB"


def _is_recorder_placeholder(path):
    return os.path.getsize(path) <= 64 and _read(path).strip() == RECORDER.encode()


def lay_files(scn, drive_c, recorder):
    """Copies the scenario's files/ tree under drive C:, puts the recorder
    where a fixture names it, and sets the attributes named in before.attrib."""
    if os.path.isdir(scn.files):
        shutil.copytree(scn.files, drive_c, dirs_exist_ok=True, symlinks=True)
        for dirpath, _, files in os.walk(scn.files):
            for f in files:
                src = os.path.join(dirpath, f)
                if not os.path.islink(src) and _is_recorder_placeholder(src):
                    shutil.copy2(recorder, os.path.join(drive_c, os.path.relpath(src, scn.files)))
    for attrs, path in scn.attrib:
        host = os.path.join(drive_c, *path.strip("\\").split("\\"))
        bits = sum(b for letter, b in ATTR_BITS if letter in attrs and letter in "HSA")
        os.setxattr(host, XATTR, b"0x%x" % bits, follow_symlinks=False)
        if "R" in attrs:
            mode = os.lstat(host).st_mode
            os.chmod(host, mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))


def _attrs(path, name):
    st = os.lstat(path)
    try:
        stored = int(os.getxattr(path, XATTR, follow_symlinks=False).split(b"\0")[0], 16)
    except (OSError, ValueError):
        stored = None
    bits = 0
    if stat.S_ISDIR(st.st_mode):
        bits |= 0x10
    if stored is not None:
        bits |= stored & 0x27
    elif not stat.S_ISDIR(st.st_mode):
        bits |= 0x20
    if not st.st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH):
        bits |= 0x1
    if name.startswith("."):
        bits |= 0x2
    if stat.S_ISLNK(st.st_mode):
        return "L"
    return "".join(letter for letter, b in ATTR_BITS if bits & b) or "-"


def _content(path, recorder):
    with open(path, "rb") as f:
        data = f.read()
    if data == recorder:
        return RECORDER
    if len(data) <= 64 and all(0x20 <= b < 0x7F or b == 0x0A for b in data):
        return data.decode("ascii").replace("\\", "\\\\").replace("\n", "\\n")
    return "sha256:%s/%d" % (hashlib.sha256(data).hexdigest()[:16], len(data))


def list_files(scn, drive_c, recorder):
    """What is left under the scenario's folders: ATTRS TAB C:-relative path
    (folders end in a backslash) TAB content, sorted without regard to case."""
    rows = []
    for root in scn.file_roots():
        top = os.path.join(drive_c, root)
        if not os.path.lexists(top):
            continue
        if not os.path.isdir(top) or os.path.islink(top):
            rows.append((root, top, False))
            continue
        rows.append((root + "\\", top, True))
        for dirpath, dirs, files in os.walk(top):
            rel = os.path.relpath(dirpath, drive_c).replace("/", "\\")
            for d in dirs:
                rows.append((rel + "\\" + d + "\\", os.path.join(dirpath, d), True))
            for f in files:
                rows.append((rel + "\\" + f, os.path.join(dirpath, f), False))
    lines = []
    for rel, host, is_dir in sorted(rows, key=lambda r: (r[0].lower(), r[0])):
        attrs = _attrs(host, os.path.basename(host))
        if is_dir or os.path.islink(host):
            lines.append("%s\t%s\n" % (attrs, rel))
        else:
            lines.append("%s\t%s\t%s\n" % (attrs, rel, _content(host, recorder)))
    return "".join(lines)


def collect(scn, drive_c, exit_codes, reg_exports, questions_raw):
    """The facets of one scenario, after all its runs. reg_exports maps each
    watched key to the raw export, or None when the key does not exist."""
    keys = {}
    for root, raw in reg_exports.items():
        if raw is None:
            keys[root] = None
        else:
            keys.update(regfile.subtree(regfile.respell_root(regfile.parse(raw), root), root))
    started = _read(os.path.join(drive_c, PROBE, "started.log"), b"")
    return {
        "exit": "".join("%s\n" % code for code in exit_codes),
        "reg": regfile.render(keys),
        "questions": _text(questions_raw or b""),
        "files": list_files(scn, drive_c, _read(os.path.join(drive_c, PROBE, "started.exe"))),
        "started": _text(started),
    }


def lay_probe(drive_c, started_program, waiter_program):
    """C:\\probe: started.exe, the scenarios' follow-up program (the recorder),
    and waiter.exe, the process that updater scenarios wait for."""
    probe = os.path.join(drive_c, PROBE)
    os.makedirs(probe, exist_ok=True)
    shutil.copy2(started_program, os.path.join(probe, "started.exe"))
    shutil.copy2(waiter_program, os.path.join(probe, "waiter.exe"))
    return probe
