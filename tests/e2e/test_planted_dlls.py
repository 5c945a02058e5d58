"""A setup run from a Downloads folder, where a web page has dropped a urlmon.dll and a
comctl32.dll beside it: neither library is ever loaded, and every run still works with the
system's copies.

Wine takes a library from the program's folder before its own only when told to prefer
native libraries; WINEDLLOVERRIDES="urlmon,comctl32=n,b" gives the search order Windows has
for libraries that are not KnownDLLs."""
from __future__ import annotations

import pathlib
import shutil

import pytest

from harness import wait_until, win_path
from installer_text import PROGRESS_CLASS

ROOT = pathlib.Path(__file__).resolve().parents[2]
PLANTED = ("urlmon.dll", "comctl32.dll")
OVERRIDES = "urlmon,comctl32=n,b"


@pytest.fixture
def downloads(wine, sandbox) -> pathlib.Path:
    """A Downloads folder holding the setup and the planted libraries."""
    folder = sandbox / "Downloads"
    folder.mkdir()
    shutil.copyfile(wine.exe, folder / wine.exe.name)
    for name in PLANTED:
        shutil.copyfile(wine.tools / "planted" / name, folder / name)
    return folder


@pytest.fixture
def runner_bytes(wine) -> bytes:
    return (wine.build_dir / "demo" / "marrowlane-demo-runner.exe").read_bytes()


@pytest.fixture
def origin(http_server, runner_bytes, env) -> str:
    http_server.serve("/api/download?os=windows", runner_bytes)
    http_server.serve("/marrowlane.ico", (ROOT / "assets" / "marrowlane.ico").read_bytes())
    env["SERVER_ORIGIN"] = http_server.url("")
    return env["SERVER_ORIGIN"]


def loads(folder: pathlib.Path) -> dict[str, str]:
    """The programs that loaded each planted library, as the libraries noted them."""
    return {p.name: p.read_text() for p in folder.glob("*.ran")}


def setup_in(launch, downloads, *args, **kwargs):
    """Starts the Downloads copy from its own folder, as a double-click there does."""
    return launch(*args, program=downloads / "Marrowlane-Setup.exe", cwd=downloads,
                  dll_overrides=OVERRIDES, **kwargs)


def test_help(launch, downloads):
    result = setup_in(launch, downloads, "--help").wait(timeout=60)
    assert (result.status, result.err) == (0, "")
    assert "--uninstall" in result.out
    assert loads(downloads) == {}


@pytest.mark.parametrize("mode", [["--cli", "-y"], ["-y"]], ids=["terminal", "windowed"])
def test_installation_and_removal(launch, gui, downloads, sandbox, origin, runner_bytes, mode):
    folder = sandbox / "LocalAppData" / "Marrowlane"
    windowed = "--cli" not in mode
    running = setup_in(launch, downloads, *mode, gate_stdout=windowed)
    if windowed:
        # The bar's class comes from comctl32: the system's copy registered it.
        window = gui.wait(PROGRESS_CLASS)
        assert gui.control(window, cls="msctls_progress32") is not None
        running.release_stdout()
    result = running.wait_exit(timeout=120)
    assert result.status == 0, result
    # Downloaded through the system's urlmon (the planted one fails every download).
    assert "[✓] Downloaded and deployed runner" in result.out, result.out
    assert (folder / "marrowlane.exe").read_bytes() == runner_bytes
    # The shortcuts come through COM and the shell, which load what they need later on.
    links = [sandbox / "AppData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" /
             "Marrowlane.lnk", sandbox / "Profile" / "Desktop" / "Marrowlane.lnk"]
    assert [link.is_file() for link in links] == [True, True], result.out
    assert loads(downloads) == {}

    removal = setup_in(launch, downloads, "--uninstall", *mode).wait_exit(timeout=120)
    assert removal.status == 0, removal
    wait_until(lambda: not folder.exists(), timeout=120)
    assert [link.exists() for link in links] == [False, False]
    assert loads(downloads) == {}


def test_the_planted_libraries_run_for_a_load_by_bare_name(wine, launch, downloads):
    # The checks above are worth something only if, with these overrides, a library loaded
    # the ordinary way is the planted one: a program beside them that loads both by name.
    loader = downloads / "loadlib.exe"
    shutil.copyfile(wine.tool("loadlib"), loader)
    result = launch(*PLANTED, program=loader, cwd=downloads,
                    dll_overrides=OVERRIDES).wait(timeout=60)
    assert result.status == 0, result
    for name in PLANTED:
        assert f"{name}: {win_path(downloads / name)}" in result.out, result.out
        assert loads(downloads)[name + ".ran"].strip().endswith("loadlib.exe")
