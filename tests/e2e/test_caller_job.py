"""The setup started inside a caller's job (a CI agent, a software-distribution agent, a game
launcher, PowerShell's Start-Process -Wait) that ends whatever is left in it once the setup
has exited: the two children the setup does not wait for, the restarted Steam and the
removal of the folder after an uninstallation, must outlive it where the job lets them."""
from __future__ import annotations

import pytest

from harness import wait_until, win_path
from test_setup_lock import uninstall_key  # noqa: F401 (a fixture)
from test_uninstaller import (GONE_WITHIN, STEAM, example_file, install_folder, installed_setup,
                              put_account, put_files, serve_product)


@pytest.fixture(scope="module")
def wine(wine_with_fakes):
    """The prefix with the stand-in tools, whose tasklist lets a test see what still runs."""
    return wine_with_fakes


JOBS = {"breakaway allowed": [], "breakaway refused": ["--no-breakaway"]}


def in_job(wine, job, program, args):
    """The jobrun command line: program and args inside a job of the given kind."""
    return wine.tool("jobrun"), [*JOBS[job], win_path(program), *args]


@pytest.mark.parametrize("job", JOBS)
def test_the_restarted_steam_outlives_the_callers_job(wine, launch, fake_steam, sandbox,
                                                      http_server, uninstall_key, job):
    root = fake_steam.root(sandbox / STEAM)
    put_account(sandbox, "111", example_file(), [])
    fake_steam.start_client(root)
    wait_until(lambda: fake_steam.starts(root), timeout=60)
    origin = serve_product(http_server, wine)
    program, args = in_job(wine, job, wine.exe, ["--cli", "-y", "--no-desktop", "--no-menu",
                                                 "--server-origin", origin])
    # The restarted client ends by itself some seconds after the job has closed, unless the
    # job's end took it along.
    running = launch(*args, program=program, timeout=180,
                     extra_env=dict(fake_steam.env, JOBRUN_LOG=win_path(fake_steam.log),
                                    FAKESTEAM_LIFETIME_MS="10000"))
    result = running.wait_exit()
    assert result.status == 0, result
    assert "Installation Completed Successfully!" in result.out
    # A script reading the setup's output gets its end when the setup exits: the restarted
    # Steam does not hold it.
    wait_until(running.stdout_closed, timeout=30)
    assert "job closed" in fake_steam.lines()
    if job == "breakaway allowed":
        wait_until(lambda: len(fake_steam.starts(root)) == 3, timeout=60)
        assert fake_steam.starts(root) == [[], ['"-shutdown"'], []]
        restarted = [line.split()[1] for line in fake_steam.lines()
                     if line.startswith("start ")][2]
        ended = f"exit {restarted} lifetime"
        wait_until(lambda: ended in fake_steam.lines(), timeout=60)
        lines = fake_steam.lines()
        assert lines.index("job closed") < lines.index(ended), lines
    else:
        # A job that refuses breakaway still gets the child (the folder removal's test shows
        # that it starts), and ends it with itself: often before it has done anything.
        assert "  [*] Reopening Steam...\n" in result.out
        wait_until(lambda: "steam.exe" not in wine.process_names(), timeout=30)
        assert not any(line.endswith(" lifetime") for line in fake_steam.lines())


@pytest.mark.parametrize("job", JOBS)
def test_the_folder_removal_outlives_the_callers_job(wine, launch, env, sandbox, job):
    # Windows Settings' quiet removal, run by an agent inside its job. A save file still held
    # keeps the removal going after the uninstaller has exited and its job has closed.
    folder = install_folder(sandbox / "LocalAppData")
    save = folder / "saves" / "slot1.dat"
    put_files(folder, ["saves/slot1.dat"])
    holder = launch(win_path(save), program=wine.tool("filelock"))
    holder.wait_for_output(b"locked\n")
    program, args = in_job(wine, job, installed_setup(folder, wine),
                           ["--uninstall", "--cli", "-y"])
    r = wine.run(program, args, env={**env, "JOBRUN_LOG": win_path(sandbox / "job.log")},
                 cwd=sandbox / "cwd")
    assert r.status == 0, r
    assert (sandbox / "job.log").read_text() == "job closed\n"
    # The removal started in either job: it would otherwise not promise to take the file.
    assert "They are removed once released, within about a minute" in r.err, r.err
    holder.wait(stdin=b"\n")
    if job == "breakaway allowed":
        wait_until(lambda: not folder.exists(), timeout=GONE_WITHIN)
