#include "cli/options.hpp"

namespace ml {

std::string help_text(std::string_view default_origin) {
    std::string text =
        "Marrowlane Setup & Steam Gridloom\n"
        "\n"
        "USAGE:\n"
        "    Marrowlane-Setup.exe [OPTIONS]\n"
        "    gridloom --name <NAME> [OPTIONS]\n"
        "\n"
        "SETUP & INSTALLATION:\n"
        "    --install                Run full installation (default on Windows)\n"
        "    --uninstall              Cleanly remove Marrowlane, Steam shortcut, artwork, and "
        "shortcuts\n"
        "    --server-origin <URL>    Distribution / update server origin (default: ";
    text += default_origin;
    text +=
        ")\n"
        "    --install-dir <PATH>     Target installation directory (default: "
        "%LOCALAPPDATA%\\Marrowlane)\n"
        "    --steam                  Add shortcut and grid artwork to Steam library\n"
        "    --no-steam               Do not add to Steam library\n"
        "    --desktop                Create Desktop shortcut\n"
        "    --no-desktop             Do not create Desktop shortcut\n"
        "    --menu                   Create Start Menu shortcut\n"
        "    --no-menu                Do not create Start Menu shortcut\n"
        "    --cli, --no-gui          Run in terminal mode without GUI dialogs\n"
        "    --non-interactive, -y    Run without prompting to exit\n"
        "\n"
        "STEAM SHORTCUT INJECTION:\n"
        "    --name <NAME>            Display name of the game or app in Steam\n"
        "    --url <URL>              WebAssembly game URL (optional)\n"
        "    --exe <PATH>             Executable runner (default: \"marrowlane\")\n"
        "    --launch-opts <OPTS>     Custom launch options (default: --url \"<URL>\")\n"
        "    --appid <ID>             Override calculated Steam AppID\n"
        "    --hero <URL|FILE>        Wide background artwork (1920x620)\n"
        "    --logo <URL|FILE>        Transparent title logo artwork\n"
        "    --capsule <URL|FILE>     Vertical portrait poster (600x900)\n"
        "    --banner <URL|FILE>      Horizontal landscape banner (460x215)\n"
        "    --icon <URL|FILE>        Square icon artwork\n"
        "    --steam-dir <PATH>       Override Steam directory root\n"
        "    --dry-run                Print planned changes without writing to disk\n"
        "    -h, --help               Show this help message\n"
        "\n";
    return text;
}

}  // namespace ml
