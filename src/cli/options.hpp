#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/error.hpp"

namespace ml {

// The installer's settings. A tri-state choice is std::nullopt when not given.
struct InstallOptions {
    std::string server_origin;
    std::string game_name = "Marrowlane";
    std::string game_url;
    std::optional<std::string> install_dir;
    bool dry_run = false;
    bool non_interactive = false;
    bool cli = false;
    std::optional<bool> steam_library;
    std::optional<bool> desktop;
    std::optional<bool> start_menu;

    friend bool operator==(const InstallOptions&, const InstallOptions&) = default;
};

// The launch options that hand a game address to the runner: "--url" and the address in
// double quotes, a double quote inside it percent-encoded as %22; empty for an empty address.
std::string url_launch_options(std::string_view url);

// The injection run's settings.
struct CliOptions {
    std::string name;
    std::string url;
    std::string exe = "marrowlane";
    std::string launch_opts;
    std::optional<std::string> hero;
    std::optional<std::string> logo;
    std::optional<std::string> capsule;
    std::optional<std::string> banner;
    std::optional<std::string> icon;
    std::optional<std::string> steam_dir;
    std::optional<std::int32_t> appid;
    bool dry_run = false;

    friend bool operator==(const CliOptions&, const CliOptions&) = default;
};

// What the removal that follows an uninstallation takes: the folder as the system names it
// and what the uninstaller could not remove from it yet, relative to it. A run mode that the
// help does not list: only the uninstaller starts it, in a copy of this program.
struct LeftoverRemoval {
    std::string folder;
    std::vector<std::string> files;
    std::vector<std::string> folders;  // deepest first
    friend bool operator==(const LeftoverRemoval&, const LeftoverRemoval&) = default;
};

// The option that chooses that run; only as the first argument.
inline constexpr std::string_view kRemoveLeftoversOption = "--remove-leftovers";

// The arguments that start the removal (parse_cli_args_from gives the record back). Entries
// that would make the command line longer than `budget` characters are left out: they stay
// in the folder, which then stays too.
std::vector<std::string> leftover_removal_arguments(const LeftoverRemoval& removal,
                                                    std::size_t budget);

// What the command line asks for: one of four runs, or the hidden removal.
struct RunMode {
    struct Install {
        InstallOptions options;
        friend bool operator==(const Install&, const Install&) = default;
    };
    struct Uninstall {
        bool non_interactive = false;
        bool cli = false;
        friend bool operator==(const Uninstall&, const Uninstall&) = default;
    };
    struct Inject {
        CliOptions options;
        friend bool operator==(const Inject&, const Inject&) = default;
    };
    struct Help {
        friend bool operator==(const Help&, const Help&) = default;
    };
    struct RemoveLeftovers {
        LeftoverRemoval removal;
        friend bool operator==(const RemoveLeftovers&, const RemoveLeftovers&) = default;
    };

    std::variant<Install, Uninstall, Inject, Help, RemoveLeftovers> mode;

    friend bool operator==(const RunMode&, const RunMode&) = default;
};

// A command line that cannot be parsed.
struct CliError {
    enum class Kind { MissingValue, InvalidAppId, UnknownOption, MissingRequired };
    Kind kind;
    std::string payload;  // the option, argument or number parser message the error is about

    // "Missing value for option: --name", "Unknown option: --cli", ...
    std::string message() const;
    // The variant and its payload: UnknownOption("--cli").
    std::string debug() const;
    // The same failure as a generic error value carrying message and debug form.
    Error to_error() const;

    friend bool operator==(const CliError&, const CliError&) = default;
};

// Looks up an environment variable: its value when set and valid Unicode, else nullopt.
using EnvLookup = std::function<std::optional<std::string>(std::string_view)>;

// Parses the arguments after the program name. Reads SERVER_ORIGIN through env while
// building InstallOptions and nothing else outside its input.
std::expected<RunMode, CliError> parse_cli_args_from(std::span<const std::string> args,
                                                     const EnvLookup& env);

// The decimal --appid rule: optional sign, ASCII digits, signed 32-bit range. The error is
// the reason text shown after "Invalid appid: ".
std::expected<std::int32_t, std::string> parse_appid(std::string_view text);

// The fixed help text, ending in two line feeds, with the default server origin in it.
std::string help_text(std::string_view default_origin);

}  // namespace ml
