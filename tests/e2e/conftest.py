"""Fixtures of the end-to-end tests: the Wine session, per-test folders and environment."""
from __future__ import annotations

import os
import pathlib
import shutil
import subprocess
import time

import pytest

from harness import FakeSteam, HttpServer, Wine, make_sandbox, sandbox_env

ROOT = pathlib.Path(__file__).resolve().parents[2]


def pytest_configure(config):
    if not os.environ.get("ML_WINE_SESSION"):
        raise pytest.UsageError(
            "end-to-end tests run inside a Wine session: "
            "scripts/wine-session build/windows /usr/bin/python3 -m pytest tests/e2e")


def start_desktop(w: Wine) -> None:
    # The first program that looks at the desktop makes Wine start the desktop process, which
    # inherits that program's standard streams and keeps them open for the whole session: a
    # captured guidriver run would then never see the end of its output. Start it here with
    # nothing to inherit.
    subprocess.run(["wine", str(w.tool("guidriver")), "list"], env=w.unix_env(),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


def hold_desktop(w: Wine, log: pathlib.Path) -> subprocess.Popen:
    """Keeps the prefix's desktop process alive until the returned program's standard input
    closes. Wine ends its desktop a moment after the last window has gone, and the next
    captured guidriver run would then start a new one that holds its output pipe open."""
    holder = subprocess.Popen(["wine", str(w.tool("guidriver")), "hold"], env=w.unix_env(),
                              stdin=subprocess.PIPE, stdout=log.open("wb"),
                              stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while b"ready" not in log.read_bytes() and time.monotonic() < deadline:
        time.sleep(0.05)
    return holder


@pytest.fixture(scope="session")
def session_wine() -> Wine:
    """The session's prefix with Wine's own system tools."""
    build = pathlib.Path(os.environ.get("ML_BUILD_DIR", ROOT / "build" / "windows")).resolve()
    w = Wine(build, pathlib.Path(os.environ["WINEPREFIX"]))
    w.point_shell_folders_at_sandboxes()
    start_desktop(w)
    return w


@pytest.fixture(scope="session")
def wine(session_wine) -> Wine:
    """The prefix a test runs in; a module that needs the stand-in system tools overrides it
    with wine_with_fakes."""
    return session_wine


@pytest.fixture(scope="session")
def wine_with_fakes(session_wine, tmp_path_factory) -> Wine:
    """A copy of the session's prefix whose system folder holds our stand-ins: a working
    tasklist for the harness's process lists (Wine's prints nothing), curl (Wine has none)
    and PowerShell (Wine's does nothing). The product starts the last two only from the
    system folder."""
    clone = session_wine.clone(tmp_path_factory.mktemp("fakes") / "prefix")
    for tool, name in (("fake_tasklist", "tasklist.exe"), ("fake_curl", "curl.exe"),
                       ("fake_powershell", "powershell.exe")):
        clone.install_tool(tool, None, name)
    clone.has_fakes = True
    start_desktop(clone)
    holder = hold_desktop(clone, clone.prefix.parent / "hold.log")
    yield clone
    holder.stdin.close()
    holder.wait(timeout=30)
    clone.shutdown()


@pytest.fixture(scope="session")
def fixtures_dir() -> pathlib.Path:
    env = os.environ.get("ML_FIXTURES_DIR")
    for candidate in ([pathlib.Path(env)] if env else []) + [ROOT.parent / "shared" / "fixtures",
                                                            pathlib.Path("/work/shared/fixtures")]:
        if (candidate / "shortcuts-vdf").is_dir():
            return candidate
    pytest.skip("the shared shortcuts.vdf fixtures are not on this machine")


class Env(dict):
    """The Windows environment of one test's runs: a variable maps to its value, "" for an
    empty value, or None to remove it."""


@pytest.fixture
def sandbox(tmp_path) -> pathlib.Path:
    """A private folder for one test, with a profile of its own."""
    return make_sandbox(tmp_path)


@pytest.fixture
def env(sandbox) -> Env:
    return Env(sandbox_env(sandbox))


@pytest.fixture
def run(wine, env, sandbox):
    """Runs Marrowlane-Setup.exe with this test's environment; keyword arguments override."""

    def _run(*args: str, extra_env=None, cwd=None, **kwargs):
        merged = dict(env)
        merged.update(extra_env or {})
        return wine.run(wine.exe, list(args), env=merged, cwd=cwd or sandbox / "cwd", **kwargs)

    return _run


@pytest.fixture
def private_prefix(wine, tmp_path) -> Wine:
    """A copy of this test's prefix with its own wineserver, for a test that changes the
    registry."""
    clone = wine.clone(tmp_path / "prefix")
    yield clone
    clone.shutdown()


@pytest.fixture
def http_server():
    """A loopback HTTP server for one test (see harness.HttpServer)."""
    server = HttpServer()
    yield server
    server.close()


@pytest.fixture
def steamprobe(wine, env, sandbox):
    """Runs the steamprobe test tool with this test's environment and sandbox/cwd as its
    working folder; keyword arguments override (extra_env, cwd, timeout)."""

    def _probe(*args: str, extra_env=None, cwd=None, **kwargs):
        merged = dict(env)
        merged.update(extra_env or {})
        return wine.run(wine.tool("steamprobe"), list(args), env=merged,
                        cwd=cwd or sandbox / "cwd", **kwargs)

    return _probe

@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    # Lets fixtures see at teardown whether the test itself failed.
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"report_{report.when}", report)


@pytest.fixture(scope="session")
def screenshots_dir(session_wine) -> pathlib.Path:
    """Pictures of the virtual screen, kept in the build tree."""
    path = session_wine.build_dir / "screenshots"
    # Failure pictures belong to this session only.
    shutil.rmtree(path / "failures", ignore_errors=True)
    path.mkdir(parents=True, exist_ok=True)
    return path


@pytest.fixture
def gui(wine, screenshots_dir, request):
    """Finds, reads and drives windows; a failed test leaves a picture of the screen in
    screenshots/failures/."""
    from gui import Gui

    g = Gui(wine, screenshots_dir)
    yield g
    report = getattr(request.node, "report_call", None)
    if report is not None and report.failed:
        name = request.node.name.replace("/", "_").replace("[", "-").replace("]", "")
        try:
            wine.screenshot(screenshots_dir / "failures" / f"{name}.png")
        except (OSError, subprocess.CalledProcessError):
            pass


@pytest.fixture
def launch(wine, env, sandbox):
    """Starts Marrowlane-Setup.exe (or another program given as program=) in the background
    with this test's environment; whatever still runs at the end of the test is killed."""
    started = []

    def _launch(*args: str, program=None, extra_env=None, cwd=None, **kwargs):
        merged = dict(env)
        merged.update(extra_env or {})
        running = wine.start(program or wine.exe, list(args), env=merged,
                             cwd=cwd or sandbox / "cwd", **kwargs)
        started.append(running)
        return running

    yield _launch
    for running in started:
        if running.running():
            running.kill()


@pytest.fixture
def fake_steam(wine, env, sandbox):
    """Steam roots with a stand-in steam.exe (harness.FakeSteam);
    every client still running at the end of the test is ended."""
    fake = FakeSteam(wine, env, sandbox)
    yield fake
    fake.close()
