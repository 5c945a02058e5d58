"""Finding Steam installations and accounts on a real (Wine) Windows."""

from harness import win_path


def lines(result):
    assert result.status == 0, result
    return result.out.splitlines()


def reg_add(wine, key, value, data):
    r = wine.wine(["reg", "add", key, "/v", value, "/t", "REG_SZ", "/d", data, "/f"])
    assert r.returncode == 0, r


def test_registry_values_in_source_order_and_by_path_identity(private_prefix, env, sandbox):
    clone = private_prefix
    steam = sandbox / "ProgramFilesX86" / "Steam"
    steam.mkdir()
    # The client writes its per-user value in lower case with forward slashes; the same
    # folder in the machine value and from ProgramFiles(x86) is another text of one path.
    per_user = win_path(steam).lower().replace("\\", "/")
    reg_add(clone, r"HKCU\Software\Valve\Steam", "SteamPath", per_user)
    reg_add(clone, r"HKLM\SOFTWARE\Valve\Steam", "InstallPath", win_path(steam))
    reg_add(clone, r"HKLM\SOFTWARE\WOW6432Node\Valve\Steam", "InstallPath",
            win_path(sandbox / "Uninstalled" / "Steam"))

    def roots(*args):
        r = clone.run(clone.tool("steamprobe"), ["roots", *args], env=env, cwd=sandbox / "cwd")
        return lines(r)

    assert roots() == [per_user, win_path(steam)]
    # An override that exists is the only root; one that does not is ignored.
    other = sandbox / "Other Steam"
    other.mkdir()
    assert roots(win_path(other)) == [win_path(other)]
    assert roots(win_path(sandbox / "missing")) == [per_user, win_path(steam)]


def test_registry_folder_outside_the_oem_code_page(private_prefix, env, sandbox):
    # `reg` would print this folder in code page 437, where it cannot even be written.
    clone = private_prefix
    steam = sandbox / "Игры" / "Café" / "Steam"
    steam.mkdir(parents=True)
    data = win_path(steam).replace("\\", "\\\\")
    text = ("Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Valve\\Steam]\r\n"
            f'"SteamPath"="{data}"\r\n')
    reg_file = sandbox / "steam.reg"
    reg_file.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
    r = clone.wine(["reg", "import", win_path(reg_file)])
    assert r.returncode == 0, r
    r = clone.run(clone.tool("steamprobe"), ["roots"], env=env, cwd=sandbox / "cwd")
    assert lines(r) == [win_path(steam)]


def test_program_folders_and_home_layouts(wine, steamprobe, env, sandbox):
    cwd = sandbox / "cwd"
    assert lines(steamprobe("roots")) == []

    # A ProgramFiles(x86) that ends in "steam" in any case is taken as it is. (Wine sets
    # ProgramFiles and SystemDrive itself in every new process, so only the native tests
    # cover those two.)
    games = sandbox / "Games" / "Valve STEAM"
    games.mkdir(parents=True)
    extra = {"ProgramFiles(x86)": win_path(games)}
    assert lines(steamprobe("roots", extra_env=extra)) == [win_path(games)]
    (sandbox / "ProgramFilesX86" / "Steam").mkdir()
    assert lines(steamprobe("roots")) == [win_path(sandbox / "ProgramFilesX86" / "Steam")]
    (sandbox / "ProgramFilesX86" / "Steam").rmdir()

    # Without HOME, the home layouts are looked for below the working folder: a folder of
    # its own, or only its userdata, makes a root.
    (cwd / ".steam" / "steam").mkdir(parents=True)
    (cwd / ".local" / "share" / "Steam" / "userdata").mkdir(parents=True)
    assert lines(steamprobe("roots")) == ["./.local/share/Steam", "./.steam/steam"]

    home = sandbox / "home"
    (home / ".var/app/com.valvesoftware.Steam/data/Steam").mkdir(parents=True)
    assert lines(steamprobe("roots", extra_env={"HOME": win_path(home)})) == [
        win_path(home) + "/.var/app/com.valvesoftware.Steam/data/Steam"]


def test_userdata_accounts(steamprobe, sandbox):
    root = sandbox / "Steam"
    userdata = root / "userdata"
    for name in ("12345678", "00", "0", "anonymous", "123a"):
        (userdata / name).mkdir(parents=True)
    (userdata / "42").write_text("a file, not an account")
    found = lines(steamprobe("users", win_path(root)))
    assert sorted(found) == [win_path(userdata / "00"), win_path(userdata / "12345678")]

    # The root text is kept as given, even in the client's forward-slash form.
    slashed = win_path(root).replace("\\", "/")
    assert sorted(lines(steamprobe("users", slashed))) == [
        slashed + "\\userdata\\00", slashed + "\\userdata\\12345678"]

    # A userdata without accounts (a Steam nobody has signed in to) has none, as has a root
    # without userdata: Steam never reads shortcuts from userdata itself.
    empty = sandbox / "Empty"
    (empty / "userdata" / "0").mkdir(parents=True)
    assert lines(steamprobe("users", win_path(empty))) == []
    assert lines(steamprobe("users", win_path(sandbox / "cwd"))) == []
