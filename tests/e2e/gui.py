"""Windows on the virtual display, seen and driven as a user would, through guidriver.exe.

Input is posted to the target (clicks to the control, keys to the control that has the
focus), never sent, so that pressing a button that opens a message box does not block the
test. There is no window manager under Xvfb: the close box is reached as the SC_CLOSE system
command it sends.
"""
from __future__ import annotations

import contextlib
import dataclasses
import json
import os
import pathlib
import subprocess
import tempfile
import time
from typing import Iterator, Optional

from harness import Wine

MESSAGE_BOX_CLASS = "#32770"
MESSAGE_BOX_TEXT_ID = 0xFFFF
MESSAGE_BOX_BUTTONS = {"OK": 1, "Cancel": 2, "Yes": 6, "No": 7}


@dataclasses.dataclass(frozen=True)
class Window:
    """A top-level window as it was when it was looked at."""
    hwnd: int
    pid: int
    exe: str
    cls: str
    title: str
    visible: bool
    style: int
    x: int
    y: int
    width: int
    height: int

    @classmethod
    def parse(cls, line: str) -> "Window":
        d = json.loads(line)
        return cls(d["hwnd"], d["pid"], d.get("exe", ""), d["class"], d["title"], d["visible"],
                   d["style"], d["x"], d["y"], d["width"], d["height"])


@dataclasses.dataclass(frozen=True)
class Control:
    """A child control; x and y are in the parent's client area. check is the BM_GETCHECK
    state of buttons, pos the position of progress bars."""
    hwnd: int
    cls: str
    text: str
    id: int
    style: int
    visible: bool
    enabled: bool
    focused: bool
    x: int
    y: int
    width: int
    height: int
    check: Optional[int] = None
    pos: Optional[int] = None

    @classmethod
    def parse(cls, line: str) -> "Control":
        d = json.loads(line)
        return cls(d["hwnd"], d["class"], d["text"], d["id"], d["style"], d["visible"],
                   d["enabled"], d["focused"], d["x"], d["y"], d["width"], d["height"],
                   d.get("check"), d.get("pos"))

    @property
    def rect(self) -> tuple[int, int, int, int]:
        return (self.x, self.y, self.width, self.height)


@dataclasses.dataclass(frozen=True)
class MessageBox:
    window: Window
    text: str
    buttons: dict[str, Control]


class WindowWatch:
    """Every window other processes create while the watch lasts (guidriver watch). Its
    output goes to a file, read once it has ended: a pipe could be held open by a process
    that the watch's start left behind."""

    def __init__(self, wine: Wine, timeout_ms: int):
        self._out = tempfile.TemporaryFile()
        self._proc = subprocess.Popen(
            ["wine", str(wine.tool("guidriver")), "watch", "--timeout", str(timeout_ms)],
            stdin=subprocess.PIPE, stdout=self._out, stderr=subprocess.DEVNULL,
            env=wine.unix_env())
        first = poll(lambda: self._lines() or self._proc.poll() is not None, timeout=60)
        assert first and self._lines() and '"ready"' in self._lines()[0], self._lines()
        self.created: list[dict] = []

    def _lines(self) -> list[str]:
        fd = self._out.fileno()
        text = os.pread(fd, os.fstat(fd).st_size, 0).decode("utf-8", "replace")
        # Only whole lines: the last one may still be being written.
        return [line for line in text.split("\n")[:-1] if line.strip()]

    def stop(self) -> list[dict]:
        self._proc.stdin.close()
        try:
            self._proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self._proc.kill()
            self._proc.wait()
        self.created = [json.loads(line) for line in self._lines()[1:]]
        self._out.close()
        return self.created


class Gui:
    def __init__(self, wine: Wine, shots_dir: pathlib.Path):
        self.wine = wine
        self.shots_dir = shots_dir

    def _driver(self, *args: str, check: bool = True, timeout: float = 60) -> str:
        r = self.wine.gui(*args, timeout=timeout)
        if check and r.returncode != 0:
            raise AssertionError(f"guidriver {' '.join(args)} failed: {r.returncode} "
                                 f"{r.stderr.decode(errors='replace')}")
        return r.stdout.decode("utf-8")

    @staticmethod
    def _match(cls: Optional[str], title: Optional[str]) -> list[str]:
        args = []
        if cls is not None:
            args += ["--class", cls]
        if title is not None:
            args += ["--title", title]
        return args

    # -- finding windows -----------------------------------------------------------------
    def windows(self) -> list[Window]:
        """Every top-level window of the session, visible or not."""
        return [Window.parse(l) for l in self._driver("list").splitlines() if l.strip()]

    def find(self, cls: Optional[str] = None, title: Optional[str] = None) -> Optional[Window]:
        """The first visible top-level window of that class and title, or None."""
        out = self._driver("find", *self._match(cls, title), check=False)
        return Window.parse(out) if out.strip() else None

    def wait(self, cls: Optional[str] = None, title: Optional[str] = None,
             timeout: float = 15) -> Window:
        """Waits until such a window is visible and returns it."""
        r = self.wine.gui("wait", *self._match(cls, title), "--timeout", str(int(timeout * 1000)),
                          timeout=timeout + 30)
        if r.returncode != 0:
            raise AssertionError(f"no window class={cls!r} title={title!r} appeared; "
                                 f"visible: {[(w.cls, w.title) for w in self.visible()]}")
        return Window.parse(r.stdout.decode("utf-8"))

    def wait_gone(self, cls: Optional[str] = None, title: Optional[str] = None,
                  timeout: float = 15) -> None:
        r = self.wine.gui("wait", *self._match(cls, title), "--gone",
                          "--timeout", str(int(timeout * 1000)), timeout=timeout + 30)
        if r.returncode != 0:
            raise AssertionError(f"window class={cls!r} title={title!r} is still there")

    def visible(self) -> list[Window]:
        return [w for w in self.windows() if w.visible]

    def refresh(self, window: Window) -> Optional[Window]:
        """The window as it is now; None when it is gone or hidden."""
        return next((w for w in self.visible() if w.hwnd == window.hwnd), None)

    # -- reading controls ----------------------------------------------------------------
    def controls(self, window: Window) -> list[Control]:
        out = self._driver("children", str(window.hwnd))
        return [Control.parse(l) for l in out.splitlines() if l.strip()]

    def control(self, window: Window, *, id: Optional[int] = None, text: Optional[str] = None,
                cls: Optional[str] = None) -> Control:
        """The one control with that id, text and class (the given ones)."""
        found = [c for c in self.controls(window)
                 if (id is None or c.id == id) and (text is None or c.text == text)
                 and (cls is None or c.cls.lower() == cls.lower())]
        assert len(found) == 1, f"{len(found)} controls id={id} text={text!r} cls={cls}"
        return found[0]

    def focus(self, window: Window) -> Optional[Control]:
        out = self._driver("focus", str(window.hwnd), check=False)
        return Control.parse(out) if out.strip() else None

    # -- acting as the user --------------------------------------------------------------
    def click(self, target: Control | Window) -> None:
        """A left click in the middle of a button or check box."""
        self._driver("click", str(target.hwnd))

    def key(self, window: Window, *keys: str) -> None:
        """Keys for the window's focused control: enter, escape, tab, space, alt+f4."""
        self._driver("key", str(window.hwnd), *keys)

    def alt_f4(self, window: Window) -> None:
        self.key(window, "alt+f4")

    def close_box(self, window: Window) -> None:
        """The close box in the title bar."""
        self._driver("close", str(window.hwnd))

    # -- message boxes -------------------------------------------------------------------
    def message_box(self, title: Optional[str] = None, timeout: float = 15) -> MessageBox:
        window = self.wait(MESSAGE_BOX_CLASS, title, timeout=timeout)
        controls = self.controls(window)
        text = next((c.text for c in controls if c.id == MESSAGE_BOX_TEXT_ID), "")
        buttons = {c.text.replace("&", ""): c for c in controls if c.cls.lower() == "button"}
        return MessageBox(window, text, buttons)

    def answer(self, box: MessageBox, button: str = "OK") -> None:
        """Clicks one of the box's buttons and waits until the box is gone."""
        self.click(box.buttons[button])
        self.wait_gone(MESSAGE_BOX_CLASS, box.window.title)

    # -- watching and pictures -----------------------------------------------------------
    @contextlib.contextmanager
    def watch(self, timeout: float = 120) -> Iterator[WindowWatch]:
        """Records every window that other processes create inside the with block; the list
        is complete once the block has ended."""
        watch = WindowWatch(self.wine, int(timeout * 1000))
        try:
            yield watch
        finally:
            watch.stop()

    def screenshot(self, name: str, window: Optional[Window] = None,
                   margin: int = 20) -> pathlib.Path:
        """The virtual screen as shots_dir/name.png; with a window, only that window and a
        margin of that many pixels around it."""
        path = self.wine.screenshot(self.shots_dir / f"{name}.png")
        if window is not None:
            m = margin
            subprocess.run(["convert", str(path), "-crop",
                            f"{window.width + 2 * m}x{window.height + 2 * m}"
                            f"+{max(window.x - m, 0)}+{max(window.y - m, 0)}", "+repage",
                            str(path)], check=True)
        return path


def poll(predicate, timeout: float = 10.0, interval: float = 0.05):
    """Calls predicate until it returns something truthy; returns that, or the last value
    after the timeout (the caller asserts on it)."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)
