"""Runs the real Windows programs under Wine for end-to-end tests.

Everything goes through envrun.exe, a launcher of ours: Wine rewrites LOCALAPPDATA, APPDATA,
USERPROFILE, TEMP and PATH from its profile, passes no HOME and drops nothing else, so only a
launcher inside Windows can set, empty or remove variables exactly as a test wants.
"""
from __future__ import annotations

import dataclasses
import fcntl
import http.server
import json
import os
import pathlib
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
from typing import Mapping, Optional, Sequence

# Variables a test controls; by default each run gets private folders for the profile ones
# and no HOME, so that nothing leaks between tests or from the machine.
PROFILE_VARS = ("LOCALAPPDATA", "APPDATA", "USERPROFILE", "ProgramFiles(x86)", "ProgramFiles")


# The Desktop and Start Menu programs folders: the setup asks the shell for them, and the shell
# reads them from these values of the prefix's registry. Every prefix of the tests holds, in
# both, the name of a variable that each run's environment sets to its own sandbox's folder
# (sandbox_env): the shell expands it from the process environment, once, so a profile folder
# whose name holds %...% itself stays as it is, and tests that share a prefix never share a
# Desktop. A run without the variable gets the unexpanded text back, which the setup takes as
# "the shell cannot say"; nothing can fall through to the Unix home.
SHELL_FOLDERS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
SHELL_FOLDER_VARIABLES = {"Desktop": "ML_SANDBOX_DESKTOP", "Programs": "ML_SANDBOX_PROGRAMS"}

# The tools the product starts by full path from the system folder.
SYSTEM_TOOLS = ("reg", "tasklist", "taskkill", "cmd", "curl", "powershell")


def win_path(path: os.PathLike | str) -> str:
    """The Windows form (Z:\\...) of an absolute Unix path."""
    p = os.path.abspath(os.fspath(path))
    return "Z:" + p.replace("/", "\\")


def unix_path(path: str) -> pathlib.Path:
    """The Unix path of a Z:\\ Windows path."""
    assert path[:3].upper() == "Z:\\", path
    return pathlib.Path("/" + path[3:].replace("\\", "/"))


def run_to_files(command: Sequence[str], env: Mapping[str, str], *, timeout: float,
                 input: bytes = b"") -> subprocess.CompletedProcess:
    """Runs a Unix command (mostly `wine ...`) with its input and output in temporary files,
    and waits for the process, never for the end of a pipe. A Wine program can leave a
    process behind that holds its output: the prefix's first-start work and its services,
    the desktop process, a helper of the program's own; Wine also hands its Unix stderr to
    every process it starts. A pipe stays open for as long as any of them runs, a file does
    not. What such a process writes after the command has ended is not collected. On a
    timeout the command is killed and TimeoutExpired carries the output so far."""
    with tempfile.TemporaryFile() as stdin, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        stdin.write(input)
        stdin.seek(0)
        popen = subprocess.Popen(list(command), stdin=stdin, stdout=out, stderr=err, env=env)
        try:
            popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            popen.kill()
            popen.wait()
            raise subprocess.TimeoutExpired(command, timeout, output=_read_all(out),
                                            stderr=_read_all(err)) from None
        return subprocess.CompletedProcess(list(command), popen.returncode, _read_all(out),
                                           _read_all(err))


def _read_all(file) -> bytes:
    file.seek(0)
    return file.read()


def log(message: str) -> None:
    """A line for the session's own output, past pytest's capture: what the harness did
    about Wine itself (a retried set-up) belongs in the CI log whether or not a test fails."""
    print(f"[harness] {message}", file=sys.__stderr__, flush=True)


class WineSetupFailed(Exception):
    """Wine itself did not start or finish a program of the harness's own set-up: the only
    failure a set-up may retry."""


# What Wine's launcher prints when it could not start a program at all.
WINE_START_FAILURES = (b"Application could not be started", b"ShellExecuteEx failed")


@dataclasses.dataclass
class Result:
    stdout: bytes
    stderr: bytes
    status: int

    @property
    def out(self) -> str:
        return self.stdout.decode("utf-8")

    @property
    def err(self) -> str:
        return self.stderr.decode("utf-8")


class StdoutGate:
    """A pipe for a program's standard output that is full before the program starts, so
    that its first write blocks until release(). It holds a program at its first console
    line without any switch in the program: the installer prints its banner only after the
    progress window is up, so a test can look at that window for as long as it likes."""

    def __init__(self):
        self.read_fd, self.write_fd = os.pipe()
        fcntl.fcntl(self.write_fd, fcntl.F_SETPIPE_SZ, 4096)
        os.set_blocking(self.write_fd, False)
        self.filler = 0
        try:
            while True:
                self.filler += os.write(self.write_fd, b"\0" * 4096)
        except BlockingIOError:
            pass
        # The flag is shared with the program's copy of the descriptor.
        os.set_blocking(self.write_fd, True)


class Running:
    """A program started in the background. Its output is collected as it arrives, so a
    test can look at it while the program runs; wait() collects its Result."""

    def __init__(self, popen: subprocess.Popen, timeout: float, wine: "Wine",
                 gate: StdoutGate | None = None, stderr_file=None):
        self._popen = popen
        self._timeout = timeout
        self._wine = wine
        self._gate = gate
        self._out = bytearray()
        self._err = bytearray()
        # Standard error goes to a file: Wine gives its Unix stderr to every process the
        # program starts (a restarted Steam, the folder removal), and a pipe would stay open
        # as long as the last of them runs.
        self._err_file = stderr_file
        self._lock = threading.Lock()
        self._ended_at = 0.0
        # Set once the program has ended. Everything it wrote is then in its pipes: each
        # reader says when its pipe has been drained, so that collecting the output never
        # waits for the pipe's end, which a process the program left behind can hold off for
        # as long as it runs. The readers go on watching for that end (stdout_closed).
        self._ended = threading.Event()
        self._drained: list[threading.Event] = []
        self._stdout_ended = threading.Event()
        if popen.stderr is not None:
            self._reader(popen.stderr.fileno(), self._err)
        if gate is None and popen.stdout is not None:
            self._reader(popen.stdout.fileno(), self._out, at_end=self._stdout_ended)

    # How long a reader keeps watching a pipe for its end after the program has ended.
    WATCH_AFTER_END = 120

    def _reader(self, fd: int, into: bytearray, skip: int = 0, *,
                at_end: threading.Event | None = None, owned: bool = False) -> None:
        """Collects fd into `into` on a thread of its own."""
        drained = threading.Event()
        self._drained.append(drained)

        def pump():
            left = skip
            try:
                while True:
                    ready, _, _ = select.select([fd], [], [], 0.05)
                    if not ready:
                        if self._ended.is_set():
                            drained.set()
                            if time.monotonic() > self._ended_at + self.WATCH_AFTER_END:
                                break
                        continue
                    chunk = os.read(fd, 65536)
                    if not chunk:
                        if at_end is not None:
                            at_end.set()
                        break
                    if left:
                        dropped = min(left, len(chunk))
                        chunk, left = chunk[dropped:], left - dropped
                    with self._lock:
                        into.extend(chunk)
            except (OSError, ValueError):  # the pipe was closed under the reader
                pass
            finally:
                drained.set()
                if owned:
                    os.close(fd)
        threading.Thread(target=pump, daemon=True).start()

    @property
    def popen(self) -> subprocess.Popen:
        return self._popen

    def running(self) -> bool:
        return self._popen.poll() is None

    def stdout_closed(self) -> bool:
        """True once the captured standard output has reached its end: no process, the
        program's children included, still holds it open. (Not standard error: Wine hands
        its own Unix stderr to every process it starts, whatever the Windows handles say.)"""
        return self._stdout_ended.is_set()

    def release_stdout(self) -> None:
        """Lets a program held by a StdoutGate go on writing."""
        if self._gate is not None:
            gate, self._gate = self._gate, None
            self._reader(gate.read_fd, self._out, skip=gate.filler, at_end=self._stdout_ended,
                         owned=True)

    def send(self, data: bytes) -> None:
        """Writes to the program's standard input (which stays open)."""
        self._popen.stdin.write(data)
        self._popen.stdin.flush()

    def close_stdin(self) -> None:
        if self._popen.stdin and not self._popen.stdin.closed:
            try:
                self._popen.stdin.close()
            except BrokenPipeError:
                pass

    def stdout_so_far(self) -> bytes:
        with self._lock:
            return bytes(self._out)

    def stderr_so_far(self) -> bytes:
        if self._err_file is not None:
            fd = self._err_file.fileno()
            return os.pread(fd, os.fstat(fd).st_size, 0)
        with self._lock:
            return bytes(self._err)

    def wait_for_output(self, text: bytes, *, stream: str = "stdout", timeout: float = 60) -> bytes:
        """Waits until the stream holds text; returns everything it holds then."""
        read = self.stdout_so_far if stream == "stdout" else self.stderr_so_far
        deadline = time.monotonic() + timeout
        while True:
            if text in (got := read()):
                return got
            if not self.running():
                self._collect()
                if text in (got := read()):
                    return got
                raise AssertionError(f"{text!r} never appeared on {stream}; it has {got!r}")
            if time.monotonic() > deadline:
                self.kill()
                raise AssertionError(f"{text!r} never appeared on {stream}; it has {got!r}")
            time.sleep(0.02)

    def wait_exit(self, timeout: float | None = None) -> Result:
        """Waits for the program to end by itself, leaving standard input open."""
        self.release_stdout()
        try:
            self._popen.wait(timeout=timeout or self._timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError(f"timed out; stdout={self.stdout_so_far()!r} "
                                 f"stderr={self.stderr_so_far()!r}") from None
        self._collect()
        self.close_stdin()
        return Result(self.stdout_so_far(), self.stderr_so_far(), self._popen.returncode)

    def _collect(self) -> None:
        """After the program's end: takes in what it left in its pipes."""
        if not self._ended.is_set():
            self._ended_at = time.monotonic()
            self._ended.set()
        for drained in list(self._drained):
            drained.wait(timeout=30)

    def wait(self, stdin: bytes | None = None, timeout: float | None = None) -> Result:
        """Writes stdin (if any), closes standard input and waits for the program's end."""
        if stdin and self._popen.stdin and not self._popen.stdin.closed:
            try:
                self.send(stdin)
            except BrokenPipeError:
                pass
        self.close_stdin()
        return self.wait_exit(timeout)

    def kill(self) -> None:
        """Ends the program and every Windows program of the session that tests start."""
        if self.running():
            self._wine.kill_all_windows_programs()
            self._popen.kill()
        self.release_stdout()


class Wine:
    """One Wine prefix with a running wineserver, and the built programs."""

    def __init__(self, build_dir: pathlib.Path, prefix: pathlib.Path):
        self.build_dir = build_dir
        self.prefix = prefix
        self.exe = build_dir / "Marrowlane-Setup.exe"
        self.tools = build_dir / "tests" / "tools"
        # Whether our stand-in system tools are in this prefix's system folder.
        self.has_fakes = False
        # The system tools replaced by stand-ins, by test tool name.
        self.system_stand_ins: dict[str, str] = {}

    # -- environment of the wine processes themselves ------------------------------------
    def unix_env(self, dll_overrides: str = "") -> dict:
        """dll_overrides: more WINEDLLOVERRIDES entries for this start ("urlmon=n,b")."""
        env = dict(os.environ)
        env["WINEPREFIX"] = str(self.prefix)
        env.setdefault("WINEDEBUG", "-all")
        env["WINEDLLOVERRIDES"] = ";".join(
            filter(None, ["mscoree=;mshtml=;winemenubuilder.exe=", dll_overrides]))
        return env

    def tool(self, name: str) -> pathlib.Path:
        return self.tools / f"{name}.exe"

    def system_folder(self) -> pathlib.Path:
        """The prefix's system32, where the product starts its system tools from."""
        return self.prefix / "drive_c" / "windows" / "system32"

    def install_tool(self, name: str, folder: os.PathLike | str | None, as_name: str) -> pathlib.Path:
        """Copies the test tool `name` as `as_name` into folder. A system tool's name (reg,
        tasklist, taskkill, cmd, curl, powershell) goes into this prefix's system folder
        instead, for the rest of the session, since the product starts those only from
        there: do that on a prefix of its own (the wine_with_fakes fixture, or clone())."""
        stem = as_name.lower().removesuffix(".exe")
        if stem in SYSTEM_TOOLS:
            return self.install_system_tool(name, stem)
        folder = pathlib.Path(folder)
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / as_name
        shutil.copyfile(self.tool(name), target)
        return target

    def install_system_tool(self, name: str, stem: str) -> pathlib.Path:
        folder = self.system_folder()
        if stem == "powershell":
            folder = folder / "WindowsPowerShell" / "v1.0"
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / f"{stem}.exe"
        # A clone shares its files with the prefix it came from through hard links: writing
        # into the shared file would change that prefix too.
        target.unlink(missing_ok=True)
        shutil.copyfile(self.tool(name), target)
        self.prefer_system_file(stem)
        self.system_stand_ins[name] = stem
        return target

    def point_shell_folders_at_sandboxes(self) -> None:
        """Makes the Desktop and Start Menu programs folders of this prefix follow each run's
        sandbox (see SHELL_FOLDER_VARIABLES). The prefix's own Desktop must be a real folder,
        not Wine's link into the Unix home, for a run that sets no sandbox at all."""
        for name, variable in SHELL_FOLDER_VARIABLES.items():
            self.set_up(["reg", "add", SHELL_FOLDERS_KEY, "/v", name, "/t", "REG_EXPAND_SZ",
                         "/d", f"%{variable}%", "/f"])
        for desktop in (self.prefix / "drive_c" / "users").glob("*/Desktop"):
            assert not desktop.is_symlink(), f"{desktop} leads out of the prefix"

    def prefer_system_file(self, stem: str) -> None:
        # Wine runs its own built-in tool for a system32 name unless told to take the file.
        self.set_up(["reg", "add", r"HKCU\Software\Wine\DllOverrides", "/v", f"{stem}.exe",
                     "/d", "native", "/f"])

    def set_up(self, args: Sequence[str], timeout: float = 120) -> subprocess.CompletedProcess:
        """A `wine ...` run of the harness's own set-up that must succeed. Raises
        WineSetupFailed when Wine did not start or finish the program, AssertionError when
        the program itself failed."""
        try:
            r = self.wine(args, timeout=timeout)
        except subprocess.TimeoutExpired as e:
            raise WineSetupFailed(f"`wine {' '.join(args)}` did not end within {timeout} s; "
                                  f"stdout={e.output!r} stderr={e.stderr!r}") from None
        if r.returncode != 0 and any(t in r.stdout + r.stderr for t in WINE_START_FAILURES):
            raise WineSetupFailed(f"Wine could not start `{' '.join(args)}`: {r}")
        assert r.returncode == 0, r
        return r

    # -- running programs ----------------------------------------------------------------
    def start(self, program: os.PathLike | str, args: Sequence[str] = (), *,
              env: Mapping[str, Optional[str]] | None = None,
              cwd: os.PathLike | str | None = None,
              stdin: int | None = subprocess.PIPE,
              stdout=subprocess.PIPE,
              direct: bool = False, limited: bool = False,
              timeout: float = 60, gate_stdout: bool = False,
              dll_overrides: str = "") -> Running:
        """Starts a Windows program (Unix path or Windows path) through envrun.

        env maps a variable to its value, to "" for an empty value, or to None to remove it.
        cwd is a Unix folder, given to the program as its working folder. With gate_stdout
        the program's first console write waits for Running.release_stdout().
        direct=True starts the program as the first Windows process itself, without envrun
        (so without env or cwd): a windowed program then has no console at all, as when a
        user double-clicks it, provided stdout (standard error goes the same way) is not a
        pipe, e.g. subprocess.DEVNULL. dll_overrides adds WINEDLLOVERRIDES entries for this
        start and the programs it starts.
        limited=True gives the program the normal token linked to Wine's elevated one, as
        Windows starts an administrator's program without "Run as administrator".
        """
        if direct:
            assert env is None and cwd is None, "a direct start takes no env or cwd"
            prog = os.fspath(program)
            popen = subprocess.Popen(["wine", prog, *args], stdin=stdin, stdout=stdout,
                                     stderr=stdout, env=self.unix_env(dll_overrides))
            return Running(popen, timeout, self)
        launcher = [str(self.tool("envrun"))]
        for name, value in (env or {}).items():
            if value is None:
                launcher += ["--unset", name]
            else:
                launcher += ["--set", f"{name}={value}"]
        if cwd is not None:
            launcher += ["--cwd", win_path(cwd)]
        if limited:
            launcher.append("--limited")
        prog = os.fspath(program)
        if prog.startswith("/"):
            prog = win_path(prog)
        command = ["wine", *launcher, "--", prog, *args]
        gate = StdoutGate() if gate_stdout else None
        stderr_file = tempfile.TemporaryFile()
        popen = subprocess.Popen(command, stdin=stdin,
                                 stdout=gate.write_fd if gate else stdout,
                                 stderr=stderr_file, env=self.unix_env(dll_overrides))
        if gate:
            os.close(gate.write_fd)
        return Running(popen, timeout, self, gate, stderr_file)

    def run(self, program: os.PathLike | str, args: Sequence[str] = (), *,
            input: bytes = b"", timeout: float = 60, **kwargs) -> Result:
        return self.start(program, args, timeout=timeout, **kwargs).wait(stdin=input)

    def wine(self, args: Sequence[str], *, input: bytes = b"",
             timeout: float = 60) -> subprocess.CompletedProcess:
        """A plain `wine ...` run (reg, cmd), output captured in files (run_to_files)."""
        return run_to_files(["wine", *args], self.unix_env(), input=input, timeout=timeout)

    def kill_all_windows_programs(self, *extra: str) -> None:
        """Ends every Windows process of this prefix (a hung test must not hang the rest),
        and any processes of the extra image names."""
        for name in ("Marrowlane-Setup.exe", "installstep.exe", "guidriver.exe", *extra):
            self.wine(["taskkill", "/f", "/im", name], timeout=30)

    def process_names(self) -> list[str]:
        """The image names of every Windows process of this prefix, lower case (Wine's own
        tasklist prints nothing; our stand-in lists what the system reports)."""
        r = self.wine([str(self.tool("fake_tasklist")), "/fo", "csv", "/nh"], timeout=30)
        lines = r.stdout.decode("utf-8", "replace").splitlines()
        return [line.split('","')[0].strip('"').lower() for line in lines if line.startswith('"')]

    # -- windows on the virtual display --------------------------------------------------
    def gui(self, *args: str, timeout: float = 60) -> subprocess.CompletedProcess:
        return run_to_files(["wine", str(self.tool("guidriver")), *args], self.unix_env(),
                            timeout=timeout)

    def windows(self) -> list[dict]:
        """Every top-level window of the session."""
        r = self.gui("list")
        return [json.loads(line) for line in r.stdout.decode().splitlines() if line.strip()]

    def visible_windows(self) -> list[dict]:
        return [w for w in self.windows() if w["visible"]]

    def screenshot(self, path: os.PathLike | str) -> pathlib.Path:
        path = pathlib.Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True)
        subprocess.run(["convert", "xwd:-", str(path)], input=xwd.stdout, check=True)
        return path

    # -- a private copy of the prefix ----------------------------------------------------
    def clone(self, dest: pathlib.Path) -> "Wine":
        """A copy of this prefix with its own wineserver, for tests that change the
        registry or the C: drive, ready for use: its first start is over. A set-up that Wine
        itself did not carry through (a program it did not start, or that never ended) is
        made once more from the start, and the session's log says so."""
        try:
            return self._clone(dest)
        except WineSetupFailed as failure:
            log(f"setting up the prefix {dest} failed, making it once more: {failure}")
            shutil.rmtree(dest, ignore_errors=True)
            return self._clone(dest)

    def _clone(self, dest: pathlib.Path) -> "Wine":
        # Hard links make the copy cheap; the registry files are copied for real since Wine
        # rewrites them in place.
        subprocess.run(["cp", "-al", str(self.prefix), str(dest)], check=True)
        for reg in self.prefix.glob("*.reg"):
            target = dest / reg.name
            target.unlink()
            shutil.copy2(reg, target)
        clone = Wine(self.build_dir, dest)
        env = clone.unix_env()
        # Wine finds a prefix's server by the folder's device and inode, and a folder made
        # now may have the inode of a deleted prefix whose server still runs (a test that
        # failed before its clean-up): that server would serve this prefix with another's
        # state. Any such server is ended first.
        clone.shutdown()
        subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        try:
            clone.first_start()
            # The stand-ins' files came along, but wineserver writes the registry to disk
            # only now and then, so the copied files may not yet say to prefer them, nor
            # where the shell folders are.
            for name, stem in self.system_stand_ins.items():
                clone.prefer_system_file(stem)
            clone.point_shell_folders_at_sandboxes()
        except BaseException:
            # No fixture will shut down a clone it never got.
            clone.shutdown()
            raise
        clone.system_stand_ins = dict(self.system_stand_ins)
        clone.has_fakes = self.has_fakes
        return clone

    def first_start(self, timeout: float = 120) -> None:
        """The prefix's first program under a new server, with nothing of the caller's to
        inherit, and the start-up work it sets off (wineboot, which starts the prefix's
        services) waited for. Those processes live as long as the server and keep the output
        of the program that started them: that must not be a test's program."""
        try:
            r = run_to_files(["wine", "cmd", "/c", "exit"], self.unix_env(), timeout=timeout)
        except subprocess.TimeoutExpired:
            raise WineSetupFailed(f"the first program of {self.prefix} did not end within "
                                  f"{timeout} s") from None
        if r.returncode != 0:
            raise WineSetupFailed(f"the first program of {self.prefix} failed: {r}")
        try:
            wait_until(lambda: not any("wineboot" in name for name in self.unix_processes()),
                       timeout=timeout)
        except AssertionError:
            raise WineSetupFailed(f"wineboot still runs in {self.prefix} after {timeout} s; "
                                  f"processes: {self.unix_processes()}") from None

    def unix_processes(self) -> list[str]:
        """The command lines of every Unix process of this prefix (its server included),
        found through the WINEPREFIX in each process's environment; no Wine program is
        started to find them."""
        marker = b"\0" + f"WINEPREFIX={self.prefix}".encode() + b"\0"
        found = []
        for environ in pathlib.Path("/proc").glob("[0-9]*/environ"):
            try:
                if marker in b"\0" + environ.read_bytes():
                    cmdline = (environ.parent / "cmdline").read_bytes()
                    found.append(cmdline.replace(b"\0", b" ").decode("utf-8", "replace").strip())
            except OSError:  # gone meanwhile, or not ours to read
                continue
        return found

    def shutdown(self) -> None:
        subprocess.run(["wineserver", "-k"], env=self.unix_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_until(predicate, timeout: float = 60.0, interval: float = 0.05):
    """Polls predicate until it returns something truthy; returns that or raises."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("condition not reached in time")
        time.sleep(interval)


@dataclasses.dataclass
class Route:
    status: int = 200
    body: bytes = b""
    headers: dict = dataclasses.field(default_factory=dict)
    # "answer" at once; "silent": read the request, never answer; "stall": send the headers,
    # then nothing; "drip": the body one byte a second.
    behaviour: str = "answer"
    # The Content-Length to announce instead of the body's own length: with a larger one the
    # server closes the connection after the body, a transfer cut short.
    announce: Optional[int] = None


@dataclasses.dataclass
class Request:
    method: str
    path: str
    headers: dict


class HttpServer:
    """A loopback HTTP server on 127.0.0.1 and a free port, run on a thread of the test.

    serve(path, body) answers GET path with 200 and the body; serve(path, status=404) with an
    error page; serve(path, status=302, headers={"Location": url}) redirects. Paths not
    served answer 404. Every request is recorded in `requests`. A route may misbehave on
    purpose (behaviour="silent", "stall" or "drip", see Route); those hold their client until
    the download gives up or close() releases them.
    """

    def __init__(self):
        self.routes: dict[str, Route] = {}
        self.requests: list[Request] = []
        self._closing = threading.Event()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):  # noqa: N802 (the base class names it)
                server.requests.append(Request("GET", self.path, dict(self.headers)))
                route = server.routes.get(self.path)
                if route is None:
                    route = Route(404, b"<html><body>404 Not Found</body></html>")
                if route.behaviour == "silent":
                    server._closing.wait()
                    self.close_connection = True
                    return
                self.send_response(route.status)
                for name, value in route.headers.items():
                    self.send_header(name, value)
                announced = len(route.body) if route.announce is None else route.announce
                self.send_header("Content-Length", str(announced))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                if route.behaviour == "stall":
                    self.wfile.flush()
                    server._closing.wait()
                    self.close_connection = True
                elif route.behaviour == "drip":
                    try:
                        for byte in route.body:
                            self.wfile.write(bytes([byte]))
                            self.wfile.flush()
                            if server._closing.wait(1.0):
                                break
                    except OSError:  # the client gave up
                        self.close_connection = True
                else:
                    self.wfile.write(route.body)
                    if announced > len(route.body):
                        self.wfile.flush()
                        self.close_connection = True

            def log_message(self, *args):
                pass

        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._httpd.daemon_threads = True
        self._httpd.block_on_close = False
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()

    def serve(self, path: str, body: bytes = b"", *, status: int = 200,
              headers: Optional[dict] = None, behaviour: str = "answer",
              announce: Optional[int] = None) -> str:
        """Sets what GET path answers; returns the URL of path. announce: a Content-Length
        larger than the body makes a transfer that is cut short (see Route)."""
        if status >= 400 and not body:
            body = f"<html><body>{status} error</body></html>".encode()
        self.routes[path] = Route(status, body, dict(headers or {}), behaviour, announce)
        return self.url(path)

    def redirect_chain(self, path: str, hops: int, target: str) -> str:
        """path redirects `hops` times (path, path/1, ...) before reaching the URL target;
        returns the URL of path."""
        names = [path] + [f"{path}/{i}" for i in range(1, hops)]
        for name, following in zip(names, names[1:] + [None]):
            location = self.url(following) if following else target
            self.serve(name, status=302, headers={"Location": location})
        return self.url(path)

    def url(self, path: str) -> str:
        return f"http://127.0.0.1:{self.port}{path}"

    def paths_requested(self) -> list[str]:
        return [r.path for r in self.requests]

    def release_held(self) -> None:
        """Ends every answer held back on purpose (silent, stall, drip) and lets the clients
        go, while the server goes on answering."""
        self._closing.set()

    def close(self) -> None:
        self._closing.set()
        self._httpd.shutdown()
        self._httpd.server_close()


def refused_url(path: str = "/") -> str:
    """An http://127.0.0.1 URL on a port nobody listens on: connections are refused at once."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    return f"http://127.0.0.1:{port}{path}"


class FakeSteam:
    """Steam roots holding the fake steam.exe, the clients started from them, and the log
    that every start of the fake writes."""

    def __init__(self, wine, env, sandbox):
        self.wine = wine
        self.sandbox = sandbox
        self.log = sandbox / "steam.log"
        self.env = dict(env, FAKESTEAM_LOG=win_path(self.log), FAKESTEAM_LIFETIME_MS="30000")
        self.clients = []
        self.roots = []

    def root(self, path, with_exe=True):
        path.mkdir(parents=True, exist_ok=True)
        if with_exe:
            self.wine.install_tool("fake_steam", path, "steam.exe")
            # For a client the desktop shell starts, which does not pass our environment.
            (path / "fakesteam.env").write_text(
                "".join(f"{name}={self.env[name]}\n"
                        for name in ("FAKESTEAM_LOG", "FAKESTEAM_LIFETIME_MS")))
            self.roots.append(path)
        return path

    def start_client(self, root, ignore_shutdown=False, *, unkillable=False, private=False,
                     shutdown_delay_ms=None):
        """Starts root's client. unkillable: no other process may end it, as a Steam started
        as administrator to a standard user's setup; private: no other process may open it,
        as another Windows user's Steam to a standard user's setup; shutdown_delay_ms: how
        long it takes to close once asked."""
        env = dict(self.env, FAKESTEAM_IGNORE_SHUTDOWN="1" if ignore_shutdown else "0",
                   FAKESTEAM_UNKILLABLE="1" if unkillable else "0",
                   FAKESTEAM_PRIVATE="1" if private else "0")
        if shutdown_delay_ms is not None:
            env["FAKESTEAM_SHUTDOWN_DELAY_MS"] = str(shutdown_delay_ms)
        env.pop("FAKESTEAM_HANG_SHUTDOWN", None)
        before = self.client_starts()
        client = self.wine.start(root / "steam.exe", [], env=env)
        self.clients.append(client)
        # Listed as running well before it can take a request on a busy machine: a client
        # is ready once its start is in the log.
        wait_until(lambda: self.client_starts() > before or not client.running(), timeout=60)
        return client

    def client_starts(self) -> int:
        """How many clients (starts without -shutdown) the log has seen."""
        return sum(1 for line in self.lines()
                   if line.startswith("start ") and '"-shutdown"' not in line)

    def events(self):
        """The log's lines without the start details (cwd, parent, token), with each process
        id replaced by the order of its first appearance: ["start 1", "start 2 -shutdown",
        "closing 1", ...]."""
        numbers = {}
        events = []
        for line in self.lines():
            kind, pid, *rest = line.split(" ", 2)
            if kind in ("cwd", "parent", "token"):
                continue
            number = numbers.setdefault(pid, len(numbers) + 1)
            if kind == "start":
                args = rest[0].split(" ")[1:] if rest else []
                events.append(" ".join([kind, str(number), *(a.strip('"') for a in args)]))
            else:
                events.append(" ".join([kind, str(number), *rest]))
        return events

    def lines(self):
        return self.log.read_text().splitlines() if self.log.exists() else []

    def client_pids(self, root):
        """The Windows process ids of root's clients (its starts without arguments)."""
        exe = '"' + win_path(root / "steam.exe").replace("\\", "\\\\") + '"'
        return [line.split(" ")[1] for line in self.lines()
                if line.startswith("start ") and line.split(" ", 2)[2] == exe]

    def folders(self):
        """The current folder of each start, by process id."""
        return {line.split(" ", 2)[1]: line.split(" ", 2)[2] for line in self.lines()
                if line.startswith("cwd ")}

    def starts(self, root):
        """The arguments of each start of root's steam.exe."""
        exe = '"' + win_path(root / "steam.exe").replace("\\", "\\\\") + '"'
        return [line.split(" ", 3)[3:] for line in self.lines()
                if line.startswith("start ") and line.split(" ", 3)[2] == exe]

    def close(self):
        # Only the clients: ending every program would also end the session's desktop holder,
        # and the next test's windows would then hang. A client that cannot be killed is
        # asked to quit.
        if self.roots:
            self.wine.wine([str(self.roots[0] / "steam.exe"), "-testquit"], timeout=30)
        self.wine.wine(["taskkill", "/f", "/im", "steam.exe"], timeout=30)
        for client in self.clients:
            client.wait(timeout=30)


# The folders of a private user profile, made by make_sandbox and named by sandbox_env.
SANDBOX_FOLDERS = ("LocalAppData", "AppData", "Profile", "ProgramFilesX86", "ProgramFiles", "cwd")


def make_sandbox(path: pathlib.Path) -> pathlib.Path:
    """Makes path a private folder for a run of the setup: an empty profile of its own, with
    the Desktop every profile has, and a working folder (cwd). Returns path."""
    for name in SANDBOX_FOLDERS:
        (path / name).mkdir(parents=True, exist_ok=True)
    # Wine's shell writes a .lnk's target into its item list only while the Desktop exists;
    # without it only the ANSI path is kept, and a target outside that code page reads back
    # with '?' in place.
    (path / "Profile" / "Desktop").mkdir(exist_ok=True)
    return path


def sandbox_env(sandbox: pathlib.Path) -> dict:
    """The Windows environment (for Wine.start) of a run in a sandbox: the profile variables
    name its folders, the shell's Desktop and Start Menu programs folders are the profile's
    own (see SHELL_FOLDER_VARIABLES), and neither HOME nor SERVER_ORIGIN reaches the
    program."""
    env = profile_env(sandbox / "LocalAppData", sandbox / "AppData", sandbox / "Profile")
    env.update({
        "ProgramFiles(x86)": win_path(sandbox / "ProgramFilesX86"),
        "ProgramFiles": win_path(sandbox / "ProgramFiles"),
        "HOME": None,
        "SERVER_ORIGIN": None,
    })
    assert set(PROFILE_VARS) <= set(env)
    return env


def profile_env(local: pathlib.Path, roaming: pathlib.Path, profile: pathlib.Path) -> dict:
    """The variables of a user profile with these folders (LOCALAPPDATA, APPDATA and
    USERPROFILE), with the shell's Desktop and Start Menu programs folders where Windows
    puts them in such a profile."""
    return {
        "LOCALAPPDATA": win_path(local),
        "APPDATA": win_path(roaming),
        "USERPROFILE": win_path(profile),
        SHELL_FOLDER_VARIABLES["Desktop"]: win_path(profile / "Desktop"),
        SHELL_FOLDER_VARIABLES["Programs"]: win_path(
            roaming / "Microsoft" / "Windows" / "Start Menu" / "Programs"),
    }
