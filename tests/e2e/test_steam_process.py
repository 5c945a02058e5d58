"""Closing and restarting the Steam client, with a stand-in steam.exe and a working tasklist
(Wine's own tasklist prints nothing) in the system folder of this module's prefix."""
import time

import pytest

from harness import wait_until, win_path


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


@pytest.mark.parametrize("with_root, ignores_shutdown, killed", [
    (True, False, False),   # asked through its root, it exits: no kill
    (True, True, True),     # it ignores the request: killed by image name after ten polls
    (False, False, True),   # no root found, so no request: killed by image name
    (True, "hangs", True),  # the request itself never returns: ended at its limit, killed
])
def test_close_asks_then_kills_by_image_name(steamprobe, steam, sandbox, with_root,
                                             ignores_shutdown, killed):
    root = steam.root(sandbox / "ProgramFilesX86" / "Steam" if with_root
                      else sandbox / "Elsewhere" / "Steam")
    hangs = ignores_shutdown == "hangs"
    if hangs:
        # The request hangs for the fake's whole lifetime, and says so when that is over,
        # unless its limit ends it first.
        steam.env.update(FAKESTEAM_HANG_SHUTDOWN="1", FAKESTEAM_LIFETIME_MS="60000")
    assert probe(steamprobe, steam, "running").out == "false\n"
    client = steam.start_client(root, ignore_shutdown=ignores_shutdown)
    wait_for_running(steamprobe, steam)

    probes = sandbox / "tasklist.log"
    r = steamprobe("close", timeout=180,
                   extra_env=dict(steam.env, FAKE_TASKLIST_LOG=win_path(probes)))
    assert r.status == 0, r
    # Counted in probes of the process list, not in time: each of the ten polls of the first
    # pass saw Steam still running before anything was killed, then the second pass looked
    # until it saw Steam gone.
    polls = len(probes.read_text().splitlines())
    assert probe(steamprobe, steam, "running").out == "false\n"
    status = client.wait(timeout=60).status
    assert steam.starts(root)[1:] == ([['"-shutdown"']] if with_root else [])
    if killed:
        assert 11 <= polls <= 20, polls
        # (Wine's taskkill ends a process with status 0, so only the log tells.)
        assert not any(line.startswith("exit ") for line in steam.lines())
        if with_root and not hangs:
            assert any(line.startswith("ignored ") for line in steam.lines())
    else:
        assert 1 <= polls <= 10, polls
        assert status == 0
        assert any(line.endswith(" shutdown") and line.startswith("exit ")
                   for line in steam.lines())


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
