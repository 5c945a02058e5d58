"""The command line as users meet it: help, errors, streams and exit status."""
import pytest

from harness import win_path

HELP = """Marrowlane Setup & Steam Gridloom

USAGE:
    Marrowlane-Setup.exe [OPTIONS]
    gridloom --name <NAME> [OPTIONS]

SETUP & INSTALLATION:
    --install                Run full installation (default on Windows)
    --uninstall              Cleanly remove Marrowlane, Steam shortcut, artwork, and shortcuts
    --server-origin <URL>    Distribution / update server origin (default: https://marrowlane.app)
    --install-dir <PATH>     Target installation directory (default: %LOCALAPPDATA%\\Marrowlane)
    --steam                  Add shortcut and grid artwork to Steam library
    --no-steam               Do not add to Steam library
    --desktop                Create Desktop shortcut
    --no-desktop             Do not create Desktop shortcut
    --menu                   Create Start Menu shortcut
    --no-menu                Do not create Start Menu shortcut
    --cli, --no-gui          Run in terminal mode without GUI dialogs
    --non-interactive, -y    Run without prompting to exit

STEAM SHORTCUT INJECTION:
    --name <NAME>            Display name of the game or app in Steam
    --url <URL>              WebAssembly game URL (optional)
    --exe <PATH>             Executable runner (default: "marrowlane")
    --launch-opts <OPTS>     Custom launch options (default: --url "<URL>")
    --appid <ID>             Override calculated Steam AppID
    --hero <URL|FILE>        Wide background artwork (1920x620)
    --logo <URL|FILE>        Transparent title logo artwork
    --capsule <URL|FILE>     Vertical portrait poster (600x900)
    --banner <URL|FILE>      Horizontal landscape banner (460x215)
    --icon <URL|FILE>        Square icon artwork
    --steam-dir <PATH>       Override Steam directory root
    --dry-run                Print planned changes without writing to disk
    -h, --help               Show this help message

""".encode()


@pytest.mark.parametrize("args", [["--help"], ["-h"], ["--name", "Foo", "-h"], ["--name", "-h"],
                                  ["--uninstall", "--help"]])
def test_help_is_printed_exactly(run, args):
    r = run(*args)
    assert (r.stdout, r.stderr, r.status) == (HELP, b"", 0)


@pytest.mark.parametrize("args, message, debug", [
    (["--name", "Foo", "--cli"], "Unknown option: --cli", 'UnknownOption("--cli")'),
    (["--name"], "Missing value for option: --name", 'MissingValue("--name")'),
    (["--url", "x", "--name", ""], "Required option missing: --name", 'MissingRequired("--name")'),
    (["--name", "Foo", "--appid", "2147483648"],
     "Invalid appid: number too large to fit in target type",
     'InvalidAppId("number too large to fit in target type")'),
    (["--bogus"], "Unknown option: --bogus", 'UnknownOption("--bogus")'),
])
def test_command_line_errors(run, args, message, debug):
    r = run(*args)
    assert r.status == 1
    assert r.stdout == HELP
    assert r.stderr == f"Error: {message}\n\nError: {debug}\n".encode()


def test_redirected_output_is_utf8(run):
    # Non-ASCII text reaches a pipe as UTF-8 bytes, not in a code page.
    r = run("--name", "Foo", "--✓é漢")
    assert r.status == 1
    assert "Unknown option: --✓é漢".encode() in r.stderr
    assert b"\xe2\x9c\x93" in r.stderr
    assert r.stderr.endswith('Error: UnknownOption("--✓é漢")\n'.encode())


def test_terminal_output_goes_through_the_console(wine, env, sandbox):
    """Started from a terminal, the program attaches to it and writes Unicode through the
    console, so the user sees the same text as a pipe would get."""
    import os
    import pty
    import re
    import select
    import subprocess
    import time

    controller, terminal = pty.openpty()
    args = ["wine", str(wine.tool("envrun"))]
    for name, value in env.items():
        args += ["--unset", name] if value is None else ["--set", f"{name}={value}"]
    args += ["--", win_path(wine.exe), "--name", "Foo", "--✓x"]
    proc = subprocess.Popen(args, stdin=terminal, stdout=terminal, stderr=terminal,
                            env=wine.unix_env(), close_fds=True)
    os.close(terminal)
    # Read until the program has ended and the terminal holds nothing more: a process it
    # left behind may keep the terminal open.
    chunks = []
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        ready, _, _ = select.select([controller], [], [], 0.05)
        if not ready:
            if proc.poll() is not None:
                break
            continue
        try:
            data = os.read(controller, 65536)
        except OSError:
            break
        if not data:
            break
        chunks.append(data)
    assert proc.wait(timeout=60) == 1
    os.close(controller)
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", b"".join(chunks)).replace(b"\r", b"")
    assert "Error: Unknown option: --✓x\n".encode() in text
    assert HELP.splitlines()[0] in text
