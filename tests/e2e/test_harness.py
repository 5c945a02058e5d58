"""The harness itself: a Wine program that leaves a process behind holding its output must
not hold the test. The prefix's first-start work, its services and its desktop process do
exactly that to whatever program starts them."""
import pytest

from harness import wait_until


@pytest.mark.parametrize("how", ["wine", "start"])
def test_a_child_holding_the_output_does_not_hold_the_harness(wine, env, sandbox, how):
    # chatter writes a line to each stream, leaves a copy of itself that keeps both streams
    # for a minute, and exits with 3.
    chatter = wine.install_tool("chatter", sandbox, "lingerer.exe")
    args = ["1", "0", "3", "60000"]
    try:
        if how == "wine":
            r = wine.wine([str(chatter), *args], timeout=30)
            result = (r.returncode, r.stdout, r.stderr)
        else:
            running = wine.start(chatter, args, env=env, cwd=sandbox / "cwd", timeout=30)
            r = running.wait_exit()
            result = (r.status, r.stdout, r.stderr)
            # The pipe's end is still watched for: the copy holds it.
            assert not running.stdout_closed()
        assert result == (3, b"out 0\n", b"err 0\n")
    finally:
        wine.wine(["taskkill", "/f", "/im", "lingerer.exe"], timeout=30)
    if how == "start":
        wait_until(running.stdout_closed, timeout=30)
