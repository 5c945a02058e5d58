"""Reads what the release scripts and tests need from a Windows PE image (an .exe or .dll):
its sections, the libraries it imports, its resources and its version resource. Only the
standard library; the file is read whole (a few MB at most)."""
from __future__ import annotations

import dataclasses
import pathlib
import struct

IMPORT_DIRECTORY = 1
RESOURCE_DIRECTORY = 2
CERTIFICATE_DIRECTORY = 4
DELAY_IMPORT_DIRECTORY = 13
RT_VERSION = 16


class NotAnImage(ValueError):
    pass


@dataclasses.dataclass(frozen=True)
class Section:
    name: str
    virtual_address: int
    virtual_size: int
    raw_offset: int
    raw_size: int


class Image:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise NotAnImage("no MZ header")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise NotAnImage("no PE signature")
        count, = struct.unpack_from("<H", data, self.pe + 6)
        self.timestamp, = struct.unpack_from("<I", data, self.pe + 8)
        optional_size, = struct.unpack_from("<H", data, self.pe + 20)
        self.optional = self.pe + 24
        magic, = struct.unpack_from("<H", data, self.optional)
        if magic not in (0x10B, 0x20B):
            raise NotAnImage(f"unknown optional header magic {magic:#x}")
        self.pe32_plus = magic == 0x20B
        directories_at = self.optional + (112 if self.pe32_plus else 96)
        directory_count, = struct.unpack_from("<I", data, directories_at - 4)
        self.directories = [struct.unpack_from("<II", data, directories_at + 8 * i)
                            for i in range(min(directory_count, 16))]
        table = self.optional + optional_size
        self.sections = []
        for i in range(count):
            entry = table + 40 * i
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, vaddr, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append(Section(name, vaddr, vsize, raw_offset, raw_size))
        self.headers_end = table + 40 * count

    @classmethod
    def read(cls, path: pathlib.Path | str) -> "Image":
        return cls(pathlib.Path(path).read_bytes())

    # -- places in the file ------------------------------------------------------------
    def offset_of(self, rva: int) -> int:
        for s in self.sections:
            if s.virtual_address <= rva < s.virtual_address + max(s.virtual_size, s.raw_size):
                return s.raw_offset + rva - s.virtual_address
        raise NotAnImage(f"RVA {rva:#x} lies in no section")

    def place_of(self, offset: int) -> str:
        """What holds the byte at a file offset: a section's name, the headers, the
        signature (certificate table) or whatever follows the last section."""
        cert_offset, cert_size = self.directory(CERTIFICATE_DIRECTORY)
        if cert_size and cert_offset <= offset < cert_offset + cert_size:
            return "the signature (certificate table)"
        if self.pe <= offset < self.pe + 24:
            return "the COFF file header" + (" (time stamp)" if self.pe + 8 <= offset < self.pe + 12
                                             else "")
        if offset < self.headers_end:
            return "the headers"
        for s in self.sections:
            if s.raw_offset <= offset < s.raw_offset + s.raw_size:
                return f"section {s.name} (RVA {s.virtual_address + offset - s.raw_offset:#x})"
        return "no section (padding or data after the last section)"

    def directory(self, index: int) -> tuple[int, int]:
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def c_string(self, offset: int) -> str:
        end = self.data.index(b"\0", offset)
        return self.data[offset:end].decode("ascii", "replace")

    # -- imports -------------------------------------------------------------------------
    def _library_names(self, directory: int, entry_size: int, name_field: int) -> list[str]:
        """The library names of an import table: entries of entry_size bytes up to an all-zero
        one, each with the RVA of its name at the 32-bit field name_field."""
        names = []
        rva, size = self.directory(directory)
        if size:
            at = self.offset_of(rva)
            while any(entry := struct.unpack_from(f"<{entry_size // 4}I", self.data, at)):
                names.append(self.c_string(self.offset_of(entry[name_field])))
                at += entry_size
        return names

    def imported_dlls(self) -> list[str]:
        """The libraries named by the import table, in its order."""
        return self._library_names(IMPORT_DIRECTORY, 20, 3)

    def delay_imported_dlls(self) -> list[str]:
        """The libraries named by the delay-load import table (loaded on first call)."""
        return self._library_names(DELAY_IMPORT_DIRECTORY, 32, 1)

    # -- resources -----------------------------------------------------------------------
    def _resource_entries(self, base: int, directory: int) -> list[tuple[int | str, int, bool]]:
        named, ids = struct.unpack_from("<HH", self.data, directory + 12)
        entries = []
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * k)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length, = struct.unpack_from("<H", self.data, at)
                key: int | str = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            entries.append((key, base + (target & 0x7FFFFFFF), bool(target & 0x80000000)))
        return entries

    def resources(self) -> dict[int | str, dict[int | str, list[bytes]]]:
        """Every resource: type -> name -> the data of each language."""
        rva, size = self.directory(RESOURCE_DIRECTORY)
        if not size:
            return {}
        base = self.offset_of(rva)
        tree: dict = {}
        for type_key, type_dir, _ in self._resource_entries(base, base):
            names = tree.setdefault(type_key, {})
            for name_key, name_dir, _ in self._resource_entries(base, type_dir):
                datas = names.setdefault(name_key, [])
                for _, leaf, _ in self._resource_entries(base, name_dir):
                    data_rva, data_size = struct.unpack_from("<II", self.data, leaf)
                    at = self.offset_of(data_rva)
                    datas.append(self.data[at:at + data_size])
        return tree

    def version(self) -> "VersionInfo | None":
        """The version resource (the first one), or None without one."""
        for datas in self.resources().get(RT_VERSION, {}).values():
            if datas:
                return VersionInfo.parse(datas[0])
        return None


@dataclasses.dataclass
class VersionInfo:
    file_version: str  # the fixed part's FILEVERSION, "a.b.c.d"
    product_version: str  # the fixed part's PRODUCTVERSION
    strings: dict[str, str]  # StringFileInfo values of the first string table

    @classmethod
    def parse(cls, data: bytes) -> "VersionInfo":
        def block(at: int):
            length, value_length, kind = struct.unpack_from("<HHH", data, at)
            end = data.index(b"\0\0", at + 6)
            while (end - at) % 2:
                end = data.index(b"\0\0", end + 1)
            key = data[at + 6:end].decode("utf-16-le")
            value_at = (end + 2 + 3) & ~3
            return key, length, value_length, kind, value_at

        key, length, value_length, _, value_at = block(0)
        if key != "VS_VERSION_INFO":
            raise NotAnImage("not a version resource")
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from(
            "<6I", data, value_at)
        if signature != 0xFEEF04BD:
            raise NotAnImage("no fixed version information")

        def dotted(ms: int, ls: int) -> str:
            return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

        strings: dict[str, str] = {}
        child = (value_at + value_length + 3) & ~3
        while child < length:
            child_key, child_length, _, _, child_value = block(child)
            if child_key == "StringFileInfo" and not strings:
                table_key, table_length, _, _, entry = block(child_value)
                table_end = child_value + table_length
                while entry < table_end:
                    name, entry_length, chars, _, value = block(entry)
                    text = data[value:value + 2 * chars].decode("utf-16-le").rstrip("\0")
                    strings[name] = text
                    entry = (entry + entry_length + 3) & ~3
                    if entry_length == 0:
                        break
            if child_length == 0:
                break
            child = (child + child_length + 3) & ~3
        return cls(dotted(file_ms, file_ls), dotted(product_ms, product_ls), strings)


def first_difference(a: bytes, b: bytes) -> int | None:
    """The first offset where two byte strings differ (the shorter one's length when one is
    the other's start), or None when they are equal."""
    if a == b:
        return None
    limit = min(len(a), len(b))
    step = 4096
    for start in range(0, limit, step):
        if a[start:start + step] != b[start:start + step]:
            for i in range(start, min(start + step, limit)):
                if a[i] != b[i]:
                    return i
    return limit
