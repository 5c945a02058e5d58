"""Fixtures of the end-to-end tests: the Wine session, per-test folders and environment."""
from __future__ import annotations

import os
import pathlib

import pytest

from harness import PROFILE_VARS, HttpServer, Wine, win_path

ROOT = pathlib.Path(__file__).resolve().parents[2]


def pytest_configure(config):
    if not os.environ.get("ML_WINE_SESSION"):
        raise pytest.UsageError(
            "end-to-end tests run inside a Wine session: "
            "scripts/wine-session build/windows /usr/bin/python3 -m pytest tests/e2e")


@pytest.fixture(scope="session")
def wine() -> Wine:
    build = pathlib.Path(os.environ.get("ML_BUILD_DIR", ROOT / "build" / "windows")).resolve()
    return Wine(build, pathlib.Path(os.environ["WINEPREFIX"]))


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
    for name in ("LocalAppData", "AppData", "Profile", "ProgramFilesX86", "ProgramFiles", "cwd"):
        (tmp_path / name).mkdir()
    return tmp_path


@pytest.fixture
def env(sandbox) -> Env:
    e = Env()
    e["LOCALAPPDATA"] = win_path(sandbox / "LocalAppData")
    e["APPDATA"] = win_path(sandbox / "AppData")
    e["USERPROFILE"] = win_path(sandbox / "Profile")
    e["ProgramFiles(x86)"] = win_path(sandbox / "ProgramFilesX86")
    e["ProgramFiles"] = win_path(sandbox / "ProgramFiles")
    e["HOME"] = None
    e["SERVER_ORIGIN"] = None
    assert set(PROFILE_VARS) <= set(e)
    return e


@pytest.fixture
def run(wine, env, sandbox):
    """Runs Marrowlane-Setup.exe with this test's environment; keyword arguments override."""

    def _run(*args: str, extra_env=None, cwd=None, **kwargs):
        merged = dict(env)
        merged.update(extra_env or {})
        return wine.run(wine.exe, list(args), env=merged, cwd=cwd or sandbox / "cwd", **kwargs)

    return _run


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
