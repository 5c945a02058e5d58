"""The built program is the Windows image users download."""
import pathlib
import re
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
from pe_image import Image  # noqa: E402

# The libraries Windows always takes from its system folder, whatever folder a program runs
# from: the KnownDLLs. Microsoft's "Dynamic-link library search order" says the list lies in
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs and publishes no list of
# its own; these are the names that key holds on Windows 10 and 11 alike, with ntdll, which
# every process has loaded before its first import. Any other library the program imports is
# looked for first beside it, in a Downloads folder say, so it must load it by hand from the
# system folder instead (src/platform/win32/system_library.hpp).
KNOWN_DLLS = frozenset("""
    advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32
    msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore
    shell32 shlwapi user32 wldap32 ws2_32
""".split())


def objdump(*args):
    return subprocess.run(["x86_64-w64-mingw32-objdump", *args], capture_output=True,
                          text=True, check=True).stdout


def resource_types(path):
    """Resource type ids of the image (3 icon, 14 icon group, 16 version, 24 manifest), each
    with the names (ids) of its resources."""
    return {kind: list(names) for kind, names in Image.read(path).resources().items()}


def test_pe32_plus_gui_image(wine):
    headers = objdump("-p", str(wine.exe))
    assert re.search(r"Magic\s+020b\s+\(PE32\+\)", headers)
    assert re.search(r"Subsystem\s+00000002\s+\(Windows GUI\)", headers)
    assert "file format pei-x86-64" in objdump("-f", str(wine.exe))
    # Fully static: only system DLLs are imported.
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", headers)}
    assert not any(d.startswith(("libstdc++", "libgcc", "libwinpthread")) for d in dlls), dlls


def test_imports_only_libraries_windows_never_looks_for_beside_it(wine):
    image = Image.read(wine.exe)
    imported = image.imported_dlls() + image.delay_imported_dlls()
    assert "kernel32.dll" in {name.lower() for name in imported}  # the table was read
    assert [name for name in imported
            if name.lower().removesuffix(".dll") not in KNOWN_DLLS] == []


def test_icon_group_1_version_and_no_manifest(wine):
    types = resource_types(wine.exe)
    assert 1 in types.get(14, []), types      # icon group with id 1
    assert len(types.get(3, [])) == 4, types  # 256, 48, 32 and 16 px
    assert 16 in types, types                 # version information
    assert 24 not in types, types             # no manifest


def project_version(build_dir) -> str:
    """project(... VERSION ...) of the top CMakeLists.txt, as the build configured it."""
    cache = (build_dir / "CMakeCache.txt").read_text()
    return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", cache, re.M).group(1)


def test_version_information(wine):
    version = project_version(wine.build_dir)
    info = Image.read(wine.exe).version()
    assert (info.file_version, info.product_version) == (version + ".0", version + ".0")
    assert info.strings == {
        "CompanyName": "Marrowlane Contributors", "FileDescription": "Marrowlane Setup",
        "FileVersion": version, "InternalName": "Marrowlane-Setup",
        "OriginalFilename": "Marrowlane-Setup.exe", "ProductName": "Marrowlane Setup",
        "ProductVersion": version}
