"""Child processes as the user sees them: nothing on the console, no window, and no program
but the system's own started under a system tool's name."""
import shutil
import subprocess
import time

from harness import SYSTEM_TOOLS, refused_url, win_path



def console_windows(wine):
    return [w for w in wine.visible_windows() if w["class"] == "WineConsoleClass"]


def test_hidden_child_output_never_reaches_our_console(wine, steamprobe):
    # chatter writes to both of its streams; a discarded child's text must not show up in
    # ours, whether we wait for it or not.
    r = steamprobe("run", str(wine.tool("chatter")), "200", "0", "0")
    assert (r.stdout, r.stderr, r.status) == (b"exit 0\n", b"", 0)
    r = steamprobe("run", "--nowait", str(wine.tool("chatter")), "200", "0", "0")
    assert (r.stdout, r.stderr, r.status) == (b"started\n", b"", 0)


def test_missing_tool_is_a_start_error(steamprobe):
    r = steamprobe("run", "no-such-tool-7f3a", "x")
    assert r.status == 1
    assert r.out.startswith("start error 2: ")


def test_hidden_child_shows_no_window(wine):
    # Started as by a double-click: a windowed program without any console. The control: a
    # console program started from it the ordinary way gets a console window, which the
    # window list shows. The listing starts 0.7 s after the start: listing windows while
    # Wine is still creating a console window stalls both for seconds.
    chatter = str(wine.tool("chatter"))
    probe = str(wine.tool("steamprobe"))

    def windows_while_running(*args):
        child = wine.start(probe, list(args), direct=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL)
        time.sleep(0.7)
        seen = []
        deadline = time.monotonic() + 1.2
        while time.monotonic() < deadline:
            seen += console_windows(wine)
            time.sleep(0.1)
        assert child.wait().status == 0
        return seen

    assert windows_while_running("spawn-plain", chatter, "0", "2500") != []
    assert windows_while_running("run", chatter, "0", "2500") == []


def test_planted_system_tools_never_run(wine, env, sandbox):
    # A Downloads folder holding the setup and a reg.exe (and friends) that someone put
    # beside it, and the same in the current folder: Windows' search would find either
    # before the system folder. Each stand-in would log its start.
    downloads = sandbox / "Downloads"
    downloads.mkdir()
    for program in (wine.exe, wine.tool("steamprobe")):
        shutil.copyfile(program, downloads / program.name)
    for folder in (downloads, sandbox / "cwd"):
        for name in SYSTEM_TOOLS:
            shutil.copyfile(wine.tool("argecho"), folder / f"{name}.exe")
    marker = sandbox / "planted.log"
    run_env = dict(env, ARGECHO_LOG=win_path(marker))
    (sandbox / "Steam" / "userdata" / "7").mkdir(parents=True)
    runs = [
        # An artwork address that refuses: the URL service fails, then curl and PowerShell.
        (wine.exe.name, ["--name", "Foo", "--steam-dir", win_path(sandbox / "Steam"),
                         "--hero", refused_url("/hero.png")]),
        (wine.exe.name, ["--cli", "-y", "--dry-run"]),
        (wine.exe.name, ["--uninstall", "--cli", "-y"]),
        # Closing Steam, which lists and ends processes itself and must start no tool.
        ("steamprobe.exe", ["close"]),
    ]
    for program, args in runs:
        r = wine.run(downloads / program, args, env=run_env, cwd=sandbox / "cwd")
        assert r.status == 0, r
    assert not marker.exists(), marker.read_text()
