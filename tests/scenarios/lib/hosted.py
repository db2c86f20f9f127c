"""The hosted backend: runs a scenario against the native build on winhost,
with a registry file and a drive folder of its own, the WINHOST_* variables,
and winhost-reg for the registry before and after."""

import ctypes
import os
import signal
import subprocess
import time

import regfile
import scenario as sc

HERE = os.path.dirname(os.path.abspath(__file__))
RUN_TIMEOUT = 60      # seconds for the program and what it starts
TOOL_TIMEOUT = 30     # seconds for one winhost-reg command
PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    """Processes that the program starts (the follow-up command) become our
    children when the program exits, so the runner can wait for them to end
    instead of guessing how long they take."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    except (OSError, AttributeError):
        pass


class Hosted:
    name = "hosted"

    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.tool = os.path.join(self.build, "tools", "winhost-reg")
        self.programs = {"ravmosetup": os.path.join(self.build, "setup", "ravmosetup"),
                         "updater": os.path.join(self.build, "updater", "updater")}
        become_subreaper()

    def missing(self):
        return [p for p in (self.tool,) if not os.access(p, os.X_OK)]

    def skip_reason(self, scn):
        return None

    def _env(self, work, scn):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("WINHOST_") and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update({
            "WINHOST_REGISTRY": os.path.join(work, "registry.db"),
            "WINHOST_DRIVES": os.path.join(work, "drives"),
            "WINHOST_QUESTION_LOG": os.path.join(work, "questions.log"),
            "WINHOST_PLATFORM": scn.platform,
            "XDG_DATA_HOME": os.path.join(work, "xdg"),
        })
        return env

    def _tool(self, env, log, *args):
        with open(log, "ab") as out:
            try:
                return subprocess.run([self.tool, *args], env=env, stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=out, timeout=TOOL_TIMEOUT).returncode
            except subprocess.TimeoutExpired:
                out.write(b"winhost-reg timed out\n")
                return 124

    def run(self, scn, work):
        env = self._env(work, scn)
        log = os.path.join(work, "log.txt")
        drive_c = os.path.join(work, "drives", "c")
        os.makedirs(drive_c)
        if scn.before_reg:
            before = os.path.join(work, "before.reg")
            with open(before, "wb") as f:
                f.write(regfile.to_utf16(scn.before_reg))
            if self._tool(env, log, "import", before) != 0:
                raise RuntimeError("winhost-reg import of before.reg failed (see %s)" % log)
        probe = os.path.join(HERE, "..", "probe")
        sc.lay_files(scn, drive_c, os.path.join(probe, "started"))
        sc.lay_probe(drive_c, os.path.join(probe, "started"), os.path.join(probe, "waiter"))

        exit_codes = []
        for run in scn.runs:
            args = [self.programs[run.program]]
            if not os.access(args[0], os.X_OK):
                raise RuntimeError("%s is not built" % args[0])
            env["WINHOST_ANSWERS"] = run.answers
            waiter = self._start_waiter(scn.wait, drive_c, env, log) if run.uses_wait() else None
            line = run.command_line
            if waiter is not None:
                line = line.replace(sc.WAITPID, str(waiter.pid))
            if line:
                args.append(line)  # the hosted entry joins its arguments by blanks
            exit_codes.append(self._run_program(args, env, log))
            if waiter is not None and waiter.poll() is None:
                waiter.kill()
                waiter.wait()

        exports = {}
        for i, key in enumerate(scn.watched_keys()):
            out = os.path.join(work, "after-%d.reg" % i)
            if self._tool(env, log, "export", key, out, "/y") == 0 and os.path.exists(out):
                with open(out, "rb") as f:
                    exports[key] = f.read()
            else:
                exports[key] = None
        questions = os.path.join(work, "questions.log")
        raw = open(questions, "rb").read() if os.path.exists(questions) else b""
        return sc.collect(scn, drive_c, exit_codes, exports, raw)

    def _start_waiter(self, wait, drive_c, env, log):
        """The process that the run waits for; with "ended" it has ended (and
        been reaped, so its id names no process) before the run starts."""
        with open(log, "ab") as out:
            waiter = subprocess.Popen([os.path.join(drive_c, sc.PROBE, "waiter.exe"),
                                       "%g" % wait.seconds, wait.path], env=env,
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        if wait.ended:
            waiter.wait(timeout=RUN_TIMEOUT)
        return waiter

    def _run_program(self, args, env, log):
        deadline = time.monotonic() + RUN_TIMEOUT
        with open(log, "ab") as out:
            proc = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=out, start_new_session=True)
            try:
                code = proc.wait(timeout=RUN_TIMEOUT)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
                code = "timeout"
            # Wait for what the program started (reparented to us), then
            # end whatever is still running in its session.
            while time.monotonic() < deadline:
                try:
                    pid, _ = os.waitpid(-1, os.WNOHANG)
                except ChildProcessError:
                    break
                if pid == 0:
                    time.sleep(0.02)
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        return code
