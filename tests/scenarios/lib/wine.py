"""The Wine backend: runs a scenario against the mingw-x64 build in a Wine
prefix of its own. The prefix is a copy of one booted once per run (booting
costs far more than copying); fixtures go in and results come out with Wine's
own `reg import` and `reg export`; clicker.exe starts the program and answers
its message boxes."""

import os
import shutil
import subprocess

import regfile
import scenario as sc

HERE = os.path.dirname(os.path.abspath(__file__))
HELPERS = os.path.join(HERE, "..", "clicker")
BOOT_TIMEOUT = 240    # seconds for wineboot of the template prefix
RUN_TIMEOUT = 60      # seconds the clicker gives the program and what it starts
CMD_TIMEOUT = 30      # seconds for one wine reg command


def windows_path(host_path):
    """The path of a Linux file as Wine sees it through drive Z:."""
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")


class Wine:
    name = "wine"

    def __init__(self, build, work_root):
        self.build = os.path.abspath(build)
        self.programs = {"ravmosetup": os.path.join(self.build, "setup", "ravmosetup.exe"),
                         "updater": os.path.join(self.build, "updater", "updater.exe")}
        self.helpers = os.path.join(self.build, "scenario-helpers")
        self.template = os.path.join(work_root, "wine-template")
        self.booted = False

    def missing(self):
        return []

    def skip_reason(self, scn):
        if scn.hosted_only is not None:
            return "hosted only: " + (scn.hosted_only or "(no reason given)")
        return None

    def _env(self, prefix):
        env = dict(os.environ)
        env.update({"WINEPREFIX": prefix, "WINEARCH": "win64", "WINEDEBUG": "-all",
                    # No Mono or Gecko installer dialogs during the boot.
                    "WINEDLLOVERRIDES": "mscoree,mshtml="})
        if not env.get("DISPLAY"):
            raise RuntimeError("the Wine backend needs DISPLAY (an X server such as Xvfb)")
        return env

    def _call(self, env, log, args, timeout):
        # Output goes to a file: Wine's background processes inherit it, and
        # a pipe held open by them would never end.
        with open(log, "ab") as out:
            out.write(("$ %s\n" % " ".join(args)).encode())
            out.flush()
            try:
                return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=out, timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                out.write(b"timed out\n")
                return 124

    def _stop(self, env, log):
        self._call(env, log, ["wineserver", "-k"], CMD_TIMEOUT)
        self._call(env, log, ["wineserver", "-w"], CMD_TIMEOUT)

    def build_helpers(self):
        os.makedirs(self.helpers, exist_ok=True)
        for name, gui in (("clicker", False), ("started", True), ("waiter", True)):
            src = os.path.join(HELPERS, name + ".c")
            exe = os.path.join(self.helpers, name + ".exe")
            args = ["x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-Wextra", "-Werror", "-static",
                    "-o", exe, src]
            if gui:
                args.insert(1, "-mwindows")
            subprocess.run(args, check=True, timeout=120)

    def boot(self):
        if self.booted:
            return
        self.build_helpers()
        shutil.rmtree(self.template, ignore_errors=True)
        env = self._env(self.template)
        log = self.template + ".log"
        if self._call(env, log, ["wine", "wineboot", "-i"], BOOT_TIMEOUT) != 0:
            raise RuntimeError("wineboot failed (see %s)" % log)
        self._stop(env, log)
        self.booted = True

    def _clone(self, prefix):
        """A copy of the booted prefix. The system folder is hard-linked (the
        programs only read it); the registry files and everything else are
        copied, since Wine rewrites them."""
        os.makedirs(prefix)
        for entry in os.listdir(self.template):
            src, dst = os.path.join(self.template, entry), os.path.join(prefix, entry)
            if entry == "drive_c":
                os.makedirs(dst)
                for sub in os.listdir(src):
                    flag = "-al" if sub.lower() == "windows" else "-a"
                    subprocess.run(["cp", flag, os.path.join(src, sub), dst], check=True)
            else:
                subprocess.run(["cp", "-a", src, dst], check=True)

    def run(self, scn, work):
        for run in scn.runs:
            if not os.path.exists(self.programs[run.program]):
                raise RuntimeError("%s is not built" % self.programs[run.program])
        self.boot()
        prefix = os.path.join(work, "prefix")
        self._clone(prefix)
        env = self._env(prefix)
        log = os.path.join(work, "log.txt")
        drive_c = os.path.join(prefix, "drive_c")
        try:
            return self._run_in(scn, work, env, log, drive_c)
        finally:
            self._stop(env, log)
            shutil.rmtree(prefix, ignore_errors=True)

    def _run_in(self, scn, work, env, log, drive_c):
        # Keep one wineserver up across the reg commands of this scenario.
        self._call(env, log, ["wineserver", "-p"], CMD_TIMEOUT)
        for key in scn.cleared_keys():
            self._call(env, log, ["wine", "reg", "delete", key, "/f"], CMD_TIMEOUT)
        fixture = b""
        if scn.platform == "win95":
            # Wine reports the Windows 95 family to one program when its
            # AppDefaults say so (winecfg refuses win95 in a 64-bit prefix).
            for program in sorted({run.program for run in scn.runs}):
                exe = os.path.basename(self.programs[program])
                fixture += ("\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\n"
                            "\"Version\"=\"win95\"\n" % exe).encode()
        elif scn.platform != "winnt":
            raise RuntimeError("platform %r cannot be had under Wine" % scn.platform)
        if scn.before_reg or fixture:
            raw = scn.before_reg or b"Windows Registry Editor Version 5.00\n"
            text = regfile.decode(raw).rstrip("\n") + "\n" + fixture.decode()
            before = os.path.join(work, "before.reg")
            with open(before, "wb") as f:
                f.write(regfile.to_utf16(text.encode("utf-8")))
            if self._call(env, log, ["wine", "reg", "import", windows_path(before)],
                          CMD_TIMEOUT) != 0:
                raise RuntimeError("wine reg import of before.reg failed (see %s)" % log)

        started = os.path.join(self.helpers, "started.exe")
        sc.lay_files(scn, drive_c, started)
        probe = sc.lay_probe(drive_c, started, os.path.join(self.helpers, "waiter.exe"))
        clicker = os.path.join(self.helpers, "clicker.exe")
        job = os.path.join(probe, "job.txt")
        questions_path = os.path.join(probe, "questions.log")
        exit_codes = []
        for run in scn.runs:
            command = '"%s"' % windows_path(self.programs[run.program])
            if run.command_line:
                command += " " + run.command_line
            text = ("command=%s\nanswers=%s\nlog=C:\\probe\\questions.log\ntimeout=%d\n"
                    % (command, run.answers, RUN_TIMEOUT))
            if run.uses_wait():
                text += "waiter=C:\\probe\\waiter.exe %g %s\nwaiter_ended=%d\n" % (
                    scn.wait.seconds, scn.wait.path, 1 if scn.wait.ended else 0)
            with open(job, "wb") as f:
                f.write(text.encode("cp1252"))
            exit_code = self._call(env, log, ["wine", clicker, "C:\\probe\\job.txt"],
                                   RUN_TIMEOUT + 30)
            exit_codes.append("timeout" if exit_code == 124 else exit_code)
        questions = open(questions_path, "rb").read() if os.path.exists(questions_path) else b""
        # The runner's own files are not part of the result.
        for path in (job, questions_path):
            if os.path.exists(path):
                os.remove(path)

        exports = {}
        for i, key in enumerate(scn.watched_keys()):
            out = os.path.join(work, "after-%d.reg" % i)
            rc = self._call(env, log, ["wine", "reg", "export", key, windows_path(out), "/y"],
                            CMD_TIMEOUT)
            exports[key] = open(out, "rb").read() if rc == 0 and os.path.exists(out) else None
        return sc.collect(scn, drive_c, exit_codes, exports, questions)
