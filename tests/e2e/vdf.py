"""A small, independent writer of binary shortcuts.vdf files for the tests, and a reader of
`vdftool dump` output."""
from __future__ import annotations

import json
import os
import pathlib
import struct
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]


def node_string(key: str, value: str) -> bytes:
    return b"\x01" + key.encode() + b"\0" + value.encode() + b"\0"


def node_int(key: str, value: int) -> bytes:
    return b"\x02" + key.encode() + b"\0" + struct.pack("<I", value & 0xFFFFFFFF)


def node_table(key: str, strings: list[str]) -> bytes:
    body = b"".join(node_string(str(i), s) for i, s in enumerate(strings))
    return b"\x00" + key.encode() + b"\0" + body + b"\x08"


def entry(appid: int = 0, name: str = "", exe: str = "", tags: list[str] | None = None,
          **strings: str) -> bytes:
    """One entry's nodes, in Steam's usual order for the keys given."""
    nodes = node_int("appid", appid) + node_string("AppName", name) + node_string("Exe", exe)
    for key, value in strings.items():
        nodes += node_string(key, value)
    nodes += node_int("AllowDesktopConfig", 1) + node_int("AllowOverlay", 1)
    return nodes + node_table("tags", tags or [])


def shortcuts_file(*entries: bytes) -> bytes:
    body = b"".join(b"\x00" + str(i).encode() + b"\0" + e + b"\x08" for i, e in enumerate(entries))
    return b"\x00shortcuts\x00" + body + b"\x08\x08"


def with_entries(path: os.PathLike | str, *entries: bytes) -> bytes:
    """The bytes of the shortcuts.vdf at path with entries appended after its own."""
    data = pathlib.Path(path).read_bytes()
    assert data.endswith(b"\x08\x08"), "not a complete shortcuts.vdf"
    count = len(dump(path))
    extra = b"".join(b"\x00" + str(count + i).encode() + b"\0" + e + b"\x08"
                     for i, e in enumerate(entries))
    return data[:-2] + extra + b"\x08\x08"


def vdftool() -> pathlib.Path:
    tool = pathlib.Path(os.environ.get("ML_VDFTOOL", ROOT / "build" / "native" / "tools" / "vdftool"))
    if not tool.exists():
        raise AssertionError(f"{tool} is missing: build the native preset first")
    return tool


def dump(path: os.PathLike | str) -> list[dict]:
    """The entries of a shortcuts.vdf, as vdftool prints them (one JSON object a line)."""
    r = subprocess.run([str(vdftool()), "dump", str(path)], capture_output=True, check=True)
    return json.loads(r.stdout)


def parse_error(path: os.PathLike | str) -> str:
    """The reader's message for a file that does not parse (vdftool's error line)."""
    r = subprocess.run([str(vdftool()), "dump", str(path)], capture_output=True)
    assert r.returncode == 1, f"{path} parses"
    line = r.stderr.decode().rstrip("\n")
    prefix = f"vdftool: {path}: "
    assert line.startswith(prefix), line
    return line[len(prefix):]
