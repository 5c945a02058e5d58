"""Child processes as the user sees them: nothing on the console, no window."""
import subprocess
import time



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
