"""The progress window through the whole installation, step by step.

The real stages take microseconds, so this runs the installer's frame in installstep.exe,
whose stages each wait for a line on standard input: between two steps the test reads the
real progress window as a user would see it.
"""
from gui import poll
from harness import win_path
from installer_text import PROGRESS_CLASS, head, summary

STEPS = [
    ("write_config", 20, "Writing configuration files..."),
    ("deploy_runner", 35, "Deploying application runner..."),
    ("deploy_webview2_loader", 48, "Deploying WebView2 runtime libraries..."),
    ("deploy_icons_and_setup_copy", 60, "Configuring application icons..."),
    ("register_in_steam_library", 72, "Configuring Steam library and artwork..."),
    ("create_windows_shortcuts", 88, "Creating Start Menu & Desktop shortcuts..."),
    ("register_uninstaller", 96, "Registering uninstaller in Windows Settings..."),
]


def shown(gui, window):
    """Bar position and status line of the progress window."""
    headline, status, bar = gui.controls(window)
    return bar.pos, status.text


def test_progress_window_follows_every_step(launch, gui, wine, sandbox):
    running = launch("-y", program=wine.tool("installstep"))
    window = None
    for number, (stage, percent, text) in enumerate(STEPS, start=1):
        running.wait_for_output(f"stage {stage}\n".encode(), stream="stderr")
        window = window or gui.wait(PROGRESS_CLASS)
        assert poll(lambda: shown(gui, window) == (percent, text)), shown(gui, window)
        if stage == "deploy_webview2_loader":
            gui.screenshot("progress-window", window)
        if stage == "deploy_icons_and_setup_copy":
            # Mid-way the user cannot close it: it stays and goes on with the next step.
            gui.alt_f4(window)
            gui.close_box(window)
            assert not poll(lambda: gui.refresh(window) is None, timeout=1.0)
        running.send(b"go\n")
    result = running.wait_exit(timeout=120)
    install_path = win_path(sandbox / "LocalAppData") + "\\Marrowlane"
    assert result.status == 0, result
    # These stages put no runner into the folder.
    origin = "https://marrowlane.app"
    assert result.stdout.decode() == head(origin, install_path) + summary(
        False, True, True, missing_runner=(install_path, origin))
    assert gui.find(PROGRESS_CLASS) is None


def test_dry_run_skips_the_last_two_steps(launch, gui, wine):
    running = launch("-y", "--dry-run", program=wine.tool("installstep"))
    for stage, _, _ in STEPS[:5]:
        running.wait_for_output(f"stage {stage}\n".encode(), stream="stderr")
        running.send(b"go\n")
    result = running.wait_exit(timeout=120)
    assert result.status == 0, result
    assert "create_windows_shortcuts" not in result.stderr.decode()


def test_fatal_stage_closes_the_window_and_reports(launch, gui, wine):
    running = launch("-y", program=wine.tool("installstep"))
    running.wait_for_output(b"stage write_config\n", stream="stderr")
    window = gui.wait(PROGRESS_CLASS)
    running.send(b"fail\n")
    result = running.wait_exit(timeout=120)
    assert result.status == 1
    assert result.stderr.decode().endswith(
        'stage write_config\nError: Custom { kind: Other, error: "stage write_config failed" }\n')
    assert "Installation Completed" not in result.stdout.decode()
    assert gui.refresh(window) is None
