"""Closing and restarting the Steam client, with a stand-in steam.exe that logs what it is
asked, what started it and with which token."""
import subprocess
import time

import pytest

from harness import SHELL_FOLDERS_KEY, FakeSteam, wait_until, win_path


@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    return wine_with_fakes


@pytest.fixture
def steam(fake_steam):
    return fake_steam


def probe(steamprobe, steam, *args, **kwargs):
    return steamprobe(*args, extra_env=steam.env, **kwargs)


def wait_for_running(steamprobe, steam):
    wait_until(lambda: probe(steamprobe, steam, "running").out == "true\n", timeout=60)


# How each client behaves, and what closing it must then look like in the fake's log: the
# client is process 1, the shutdown request process 2. A client that was ended leaves no
# "exit" line of its own.
CLOSE_CASES = {
    # Asked through its root, it closes at once: never killed.
    "obeys": (dict(), True, ["start 1", "start 2 -shutdown", "closing 1", "exit 1 shutdown"]),
    # It takes 12 seconds, as the real client may: still not killed.
    "takes 12 seconds": (dict(shutdown_delay_ms=12_000), True,
                         ["start 1", "start 2 -shutdown", "closing 1", "exit 1 shutdown"]),
    # It ignores the request: ended once the wait is over.
    "ignores the request": (dict(ignore_shutdown=True), True,
                            ["start 1", "start 2 -shutdown", "ignored 1 shutdown"]),
    # No root found, so nothing to ask it with: ended at once.
    "no root": (dict(), False, ["start 1"]),
    # The request itself never returns: ended at its limit, then the client is ended.
    "request hangs": (dict(), True, ["start 1", "start 2 -shutdown"]),
}


@pytest.mark.parametrize("case", CLOSE_CASES)
def test_close_waits_for_steam_then_ends_it(steamprobe, steam, sandbox, case):
    behaviour, with_root, expected = CLOSE_CASES[case]
    root = steam.root(sandbox / "ProgramFilesX86" / "Steam" if with_root
                      else sandbox / "Elsewhere" / "Steam")
    # The full wait where the client closes by itself; a short one where it is ended anyway.
    wait = {} if case in ("obeys", "takes 12 seconds") else {"ML_TEST_STEAM_CLOSE_MS": "2000"}
    if case == "request hangs":
        # The request hangs for the fake's whole lifetime, and says so when that is over,
        # unless its limit ends it first.
        steam.env.update(FAKESTEAM_HANG_SHUTDOWN="1", FAKESTEAM_LIFETIME_MS="60000")
    before = probe(steamprobe, steam, "running")
    assert before.out == "false\n", before
    client = steam.start_client(root, **behaviour)
    wait_for_running(steamprobe, steam)

    r = steamprobe("close", timeout=180, extra_env=dict(steam.env, **wait))
    assert (r.out.splitlines()[0], r.status) == ("closed", 0), r
    after = probe(steamprobe, steam, "running")
    assert after.out == "false\n", after
    client.wait(timeout=60)
    assert steam.events() == expected


def test_a_steam_that_cannot_be_ended_is_reported_still_running(steamprobe, steam, sandbox):
    # A Steam started as administrator: a standard user's process can neither make it close
    # (it ignores the request here) nor end it.
    root = steam.root(sandbox / "ProgramFilesX86" / "Steam")
    steam.start_client(root, ignore_shutdown=True, unkillable=True)
    wait_until(lambda: "unkillable 1" in steam.events(), timeout=60)
    r = steamprobe("close", timeout=120, extra_env=dict(steam.env, ML_TEST_STEAM_CLOSE_MS="1000"))
    assert (r.out.splitlines()[0], r.status) == ("still running", 0), r
    assert probe(steamprobe, steam, "running").out == "true\n"
    assert steam.events() == ["start 1", "unkillable 1", "start 2 -shutdown",
                              "ignored 1 shutdown"]


def test_restart_does_not_hold_the_callers_output_pipe(wine, steamprobe, steam, sandbox):
    # `setup | tee log` must end when the setup does, not when the user quits Steam: the
    # restarted client gets the null device instead of our pipes, and its own folder.
    root = steam.root(sandbox / "A" / "Steam")
    restart = wine.start(wine.tool("steamprobe"), ["restart", win_path(root)], env=steam.env,
                         cwd=sandbox / "cwd")
    steam.clients.append(restart)
    assert restart.wait_exit(timeout=120).status == 0
    wait_until(restart.stdout_closed, timeout=60)
    wait_until(lambda: steam.starts(root), timeout=60)
    assert probe(steamprobe, steam, "running").out == "true\n"
    assert list(steam.folders().values()) == ['"' + win_path(root).replace("\\", "\\\\") + '"']
    # Wine runs every program elevated, its desktop shell too: nothing to gain from the shell.
    assert started_by_shell(steam) == (False, "elevated")


def test_restart_starts_only_the_first_roots_steam_and_does_not_wait(wine, steamprobe, steam,
                                                                     env, sandbox):
    first = steam.root(sandbox / "A" / "Steam")
    second = steam.root(sandbox / "B" / "Steam")
    restart = wine.start(wine.tool("steamprobe"),
                         ["restart", win_path(sandbox / "None"), win_path(first),
                          win_path(second)],
                         env=steam.env, cwd=sandbox / "cwd")
    steam.clients.append(restart)
    wait_until(lambda: steam.starts(first), timeout=60)
    # steamprobe is gone while the client it started still runs.
    wait_until(lambda: not restart.running(), timeout=60)
    assert probe(steamprobe, steam, "running").out == "true\n"
    time.sleep(0.5)
    assert steam.starts(first) == [[]]
    assert steam.starts(second) == []


@pytest.fixture
def prefix_with_steam_handler(wine, tmp_path):
    """A private prefix in which steam:// addresses open argecho, as Steam's own handler
    would open the client."""
    clone = wine.clone(tmp_path / "prefix")
    command = f'"{win_path(wine.tool("argecho"))}" "%1"'
    for args in ([r"HKCR\steam", "/ve", "/d", "URL:Steam Protocol"],
                 [r"HKCR\steam", "/v", "URL Protocol", "/d", ""],
                 [r"HKCR\steam\shell\open\command", "/ve", "/d", command]):
        r = clone.wine(["reg", "add", *args, "/f"])
        assert r.returncode == 0, r
    yield clone
    clone.shutdown()


def test_restart_without_steam_exe_opens_the_steam_address(prefix_with_steam_handler, env,
                                                          sandbox):
    clone = prefix_with_steam_handler
    without_exe = sandbox / "Steam"
    without_exe.mkdir()
    for roots in ([], [win_path(without_exe)]):
        log = sandbox / f"handler-{len(roots)}.log"
        run_env = dict(env, ARGECHO_LOG=win_path(log))
        r = clone.run(clone.tool("steamprobe"), ["restart", *roots], env=run_env,
                      cwd=sandbox / "cwd")
        assert r.status == 0
        wait_until(log.exists, timeout=60)
        wait_until(lambda: '"steam://"' in log.read_text().splitlines(), timeout=60)


def started_by_shell(steam):
    """Whether the desktop shell started the (one) client in the log, and the client's token.
    (A program that started it and has exited since shows as "?", so only the shell, which
    stays, can be named for sure.)"""
    lines = steam.lines()
    parent = [line.split(" ", 2)[2] for line in lines if line.startswith("parent ")]
    token = [line.split(" ", 2)[2] for line in lines if line.startswith("token ")]
    return parent[0].lower() == "explorer.exe", token[0]


@pytest.fixture
def limited_desktop(wine, tmp_path):
    """A private prefix whose desktop shell runs with the normal (limited) token, as Explorer
    does on Windows, while the programs the tests start are elevated (Wine's default)."""
    clone = wine.clone(tmp_path / "prefix")
    # The shell's desktop view shows the Desktop folder, which the session points at each
    # run's sandbox: here it is a real folder of the shell's own.
    desktop = tmp_path / "Desktop"
    desktop.mkdir()
    r = clone.wine(["reg", "add", SHELL_FOLDERS_KEY, "/v", "Desktop", "/t", "REG_EXPAND_SZ",
                    "/d", win_path(desktop), "/f"])
    assert r.returncode == 0, r
    # The desktop process starts with the first program that looks at the desktop, with its
    # token; it keeps that program's output open, so the output goes to a file.
    log = tmp_path / "hold.log"
    holder = subprocess.Popen(
        ["wine", str(clone.tool("envrun")), "--limited", "--", str(clone.tool("guidriver")),
         "hold"], env=clone.unix_env(), stdin=subprocess.PIPE, stdout=log.open("wb"),
        stderr=subprocess.DEVNULL)
    wait_until(lambda: b"ready" in log.read_bytes(), timeout=60)
    yield clone
    holder.stdin.close()
    holder.wait(timeout=60)
    clone.shutdown()


@pytest.mark.parametrize("elevated", [True, False], ids=["elevated", "standard"])
def test_an_elevated_restart_has_the_desktop_shell_start_steam(limited_desktop, env, sandbox,
                                                                elevated):
    # A child runs with its parent's token: started by an elevated setup, Steam would run
    # every game elevated. The shell holds the user's own token.
    clone = limited_desktop
    steam = FakeSteam(clone, env, sandbox)
    try:
        root = steam.root(sandbox / "ProgramFilesX86" / "Steam")
        r = clone.run(clone.tool("steamprobe"), ["restart", win_path(root)], env=steam.env,
                      cwd=sandbox / "cwd", limited=not elevated)
        assert (r.out, r.status) == ("started\n", 0)
        wait_until(lambda: any(line.startswith("token ") for line in steam.lines()), timeout=60)
        assert started_by_shell(steam) == (elevated, "limited")
        assert list(steam.folders().values()) == [
            '"' + win_path(root).replace("\\", "\\\\") + '"']
    finally:
        steam.close()


def test_a_restart_before_any_desktop_starts_steam_itself(private_prefix, env, sandbox):
    # A terminal run may come before anything has started Wine's desktop, and so its Explorer:
    # with no shell to hand Steam to, the setup starts it itself rather than ask the shell's
    # automation server, which would start an Explorer of its own, with the setup's token.
    clone = private_prefix
    steam = FakeSteam(clone, env, sandbox)
    try:
        root = steam.root(sandbox / "ProgramFilesX86" / "Steam")
        r = clone.run(clone.tool("steamprobe"), ["restart", win_path(root)], env=steam.env,
                      cwd=sandbox / "cwd")
        assert (r.out, r.status) == ("started\n", 0)
        wait_until(lambda: any(line.startswith("token ") for line in steam.lines()), timeout=60)
        assert started_by_shell(steam) == (False, "elevated")
    finally:
        steam.close()
