"""The built program is the Windows image users download."""
import re
import subprocess


def objdump(*args):
    return subprocess.run(["x86_64-w64-mingw32-objdump", *args], capture_output=True,
                          text=True, check=True).stdout


def resource_types(path):
    """Resource type ids of the image's top-level resource directory (3 icon, 14 icon
    group, 16 version, 24 manifest), read from the .rsrc section."""
    import struct
    data = path.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + opt_size
    for i in range(sections):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0")
        if name == b".rsrc":
            raw = struct.unpack_from("<I", data, entry + 20)[0]
            named, ids = struct.unpack_from("<HH", data, raw + 12)
            types = {}
            for k in range(named + ids):
                type_id, offset = struct.unpack_from("<II", data, raw + 16 + 8 * k)
                sub = raw + (offset & 0x7FFFFFFF)
                sub_named, sub_ids = struct.unpack_from("<HH", data, sub + 12)
                names = [struct.unpack_from("<I", data, sub + 16 + 8 * j)[0]
                         for j in range(sub_named + sub_ids)]
                types[type_id] = names
            return types
    return {}


def test_pe32_plus_gui_image(wine):
    headers = objdump("-p", str(wine.exe))
    assert re.search(r"Magic\s+020b\s+\(PE32\+\)", headers)
    assert re.search(r"Subsystem\s+00000002\s+\(Windows GUI\)", headers)
    assert "file format pei-x86-64" in objdump("-f", str(wine.exe))
    # Fully static: only system DLLs are imported.
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", headers)}
    assert not any(d.startswith(("libstdc++", "libgcc", "libwinpthread")) for d in dlls), dlls


def test_icon_group_1_version_and_no_manifest(wine):
    types = resource_types(wine.exe)
    assert 1 in types.get(14, []), types      # icon group with id 1
    assert len(types.get(3, [])) == 4, types  # 256, 48, 32 and 16 px
    assert 16 in types, types                 # version information
    assert 24 not in types, types             # no manifest


def test_version_information(wine):
    data = wine.exe.read_bytes()
    for text in ("Marrowlane Setup", "Marrowlane Contributors", "0.2.0"):
        assert text.encode("utf-16-le") in data, text
