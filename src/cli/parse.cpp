#include <algorithm>
#include <array>

#include "build_config.hpp"
#include "cli/options.hpp"
#include "platform/text.hpp"

namespace ml {
namespace {

bool any_of_args(std::span<const std::string> args, std::initializer_list<std::string_view> names) {
    return std::any_of(args.begin(), args.end(), [&](const std::string& a) {
        return std::find(names.begin(), names.end(), a) != names.end();
    });
}

std::unexpected<CliError> cli_error(CliError::Kind kind, std::string payload) {
    return std::unexpected(CliError{kind, std::move(payload)});
}

bool is_long_option(std::string_view arg) {
    return arg.starts_with("--");
}

std::expected<RunMode, CliError> parse_install(std::span<const std::string> args,
                                               const EnvLookup& env) {
    InstallOptions o;
    if (auto origin = env ? env("SERVER_ORIGIN") : std::nullopt) {
        o.server_origin = std::move(*origin);
    } else {
        o.server_origin = build::kDefaultServerOrigin;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* value_field = nullptr;
        std::optional<std::string>* optional_field = nullptr;
        if (a == "--server-origin") {
            value_field = &o.server_origin;
        } else if (a == "--name" || a == "--game-name") {
            value_field = &o.game_name;
        } else if (a == "--url") {
            value_field = &o.game_url;
        } else if (a == "--install-dir") {
            optional_field = &o.install_dir;
        }
        if (value_field || optional_field) {
            if (i + 1 >= args.size()) return cli_error(CliError::Kind::MissingValue, a);
            const std::string& value = args[++i];
            if (value_field)
                *value_field = value;
            else
                *optional_field = value;
            continue;
        }
        if (a == "--install") {
        } else if (a == "--steam") {
            o.steam_library = true;
        } else if (a == "--no-steam") {
            o.steam_library = false;
        } else if (a == "--desktop") {
            o.desktop = true;
        } else if (a == "--no-desktop") {
            o.desktop = false;
        } else if (a == "--menu" || a == "--start-menu") {
            o.start_menu = true;
        } else if (a == "--no-menu" || a == "--no-start-menu") {
            o.start_menu = false;
        } else if (a == "--cli" || a == "--no-gui") {
            o.cli = true;
        } else if (a == "--non-interactive" || a == "-y") {
            o.non_interactive = true;
        } else if (a == "--dry-run") {
            o.dry_run = true;
        } else if (is_long_option(a)) {
            return cli_error(CliError::Kind::UnknownOption, a);
        }
        // Single-dash arguments, bare words and empty arguments are ignored.
    }
    return RunMode{RunMode::Install{std::move(o)}};
}

std::expected<RunMode, CliError> parse_inject(std::span<const std::string> args) {
    CliOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string* text = nullptr;
        std::optional<std::string>* optional_text = nullptr;
        const bool is_appid = a == "--appid";
        if (a == "--name")
            text = &o.name;
        else if (a == "--url")
            text = &o.url;
        else if (a == "--exe")
            text = &o.exe;
        else if (a == "--launch-opts")
            text = &o.launch_opts;
        else if (a == "--hero")
            optional_text = &o.hero;
        else if (a == "--logo")
            optional_text = &o.logo;
        else if (a == "--capsule")
            optional_text = &o.capsule;
        else if (a == "--banner")
            optional_text = &o.banner;
        else if (a == "--icon")
            optional_text = &o.icon;
        else if (a == "--steam-dir")
            optional_text = &o.steam_dir;

        if (text || optional_text || is_appid) {
            if (i + 1 >= args.size()) return cli_error(CliError::Kind::MissingValue, a);
            const std::string& value = args[++i];
            if (text) {
                *text = value;
            } else if (optional_text) {
                *optional_text = value;
            } else {
                auto id = parse_appid(value);
                if (!id) return cli_error(CliError::Kind::InvalidAppId, id.error());
                o.appid = *id;
            }
            continue;
        }
        if (a == "--dry-run") {
            o.dry_run = true;
        } else if (a == "--help" || a == "-h") {
            return RunMode{RunMode::Help{}};
        } else if (is_long_option(a)) {
            return cli_error(CliError::Kind::UnknownOption, a);
        }
    }
    if (o.name.empty()) return cli_error(CliError::Kind::MissingRequired, "--name");
    if (o.launch_opts.empty()) o.launch_opts = url_launch_options(o.url);
    return RunMode{RunMode::Inject{std::move(o)}};
}

// The hidden removal's arguments as leftover_removal_arguments writes them: the folder, then
// pairs of "--file" or "--folder" and a relative path. Nothing in them is taken for any other
// option: a save file may well be called "--help".
std::expected<RunMode, CliError> parse_leftover_removal(std::span<const std::string> args) {
    if (args.size() < 2) return cli_error(CliError::Kind::MissingValue, args[0]);
    LeftoverRemoval removal;
    removal.folder = args[1];
    for (std::size_t i = 2; i < args.size(); i += 2) {
        const std::string& kind = args[i];
        if (kind != "--file" && kind != "--folder")
            return cli_error(CliError::Kind::UnknownOption, kind);
        if (i + 1 >= args.size()) return cli_error(CliError::Kind::MissingValue, kind);
        (kind == "--file" ? removal.files : removal.folders).push_back(args[i + 1]);
    }
    return RunMode{RunMode::RemoveLeftovers{std::move(removal)}};
}

}  // namespace

std::vector<std::string> leftover_removal_arguments(const LeftoverRemoval& removal,
                                                    std::size_t budget) {
    std::vector<std::string> args = {std::string(kRemoveLeftoversOption), removal.folder};
    // What an argument can take on the command line at most: its quotes, its separating
    // space, and a backslash before each of its characters.
    const auto cost = [](const std::string& arg) { return 2 * arg.size() + 3; };
    std::size_t used = cost(args[0]) + cost(args[1]);
    const auto add = [&](std::string_view kind, const std::string& path) {
        const std::size_t more = kind.size() + 3 + cost(path);
        if (used + more > budget) return;
        used += more;
        args.emplace_back(kind);
        args.push_back(path);
    };
    for (const std::string& file : removal.files) add("--file", file);
    for (const std::string& folder : removal.folders) add("--folder", folder);
    return args;
}

std::string url_launch_options(std::string_view url) {
    if (url.empty()) return {};
    // A raw double quote is never valid in an address; left as it is it would end the
    // quotes and hand the rest to the runner as arguments of its own.
    std::string quoted = "--url \"";
    for (const char c : url) {
        if (c == '"') {
            quoted += "%22";
        } else {
            quoted.push_back(c);
        }
    }
    quoted.push_back('"');
    return quoted;
}

std::expected<std::int32_t, std::string> parse_appid(std::string_view text) {
    if (text.empty()) return std::unexpected("cannot parse integer from empty string");
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
        if (text.empty()) return std::unexpected("invalid digit found in string");
    }
    // Accumulate with the sign applied so that -2147483648 fits; report overflow in the
    // direction the number was heading, as soon as it leaves the range.
    std::int64_t value = 0;
    bool out_of_range = false;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::unexpected("invalid digit found in string");
        if (out_of_range) continue;
        const int digit = c - '0';
        value = value * 10 + (negative ? -digit : digit);
        if (value > INT32_MAX || value < INT32_MIN) out_of_range = true;
    }
    if (out_of_range) {
        return std::unexpected(negative ? "number too small to fit in target type"
                                        : "number too large to fit in target type");
    }
    return static_cast<std::int32_t>(value);
}

std::expected<RunMode, CliError> parse_cli_args_from(std::span<const std::string> args,
                                                     const EnvLookup& env) {
    if (!args.empty() && args[0] == kRemoveLeftoversOption) return parse_leftover_removal(args);
    if (any_of_args(args, {"--help", "-h"})) return RunMode{RunMode::Help{}};
    if (any_of_args(args, {"--uninstall"})) {
        return RunMode{RunMode::Uninstall{any_of_args(args, {"-y", "--non-interactive"}),
                                          any_of_args(args, {"--cli", "--no-gui"})}};
    }
    if (any_of_args(args, {"--install"}) || !any_of_args(args, {"--name"})) {
        return parse_install(args, env);
    }
    return parse_inject(args);
}

std::string CliError::message() const {
    switch (kind) {
        case Kind::MissingValue:
            return "Missing value for option: " + payload;
        case Kind::InvalidAppId:
            return "Invalid appid: " + payload;
        case Kind::UnknownOption:
            return "Unknown option: " + payload;
        case Kind::MissingRequired:
            return "Required option missing: " + payload;
    }
    return payload;
}

std::string CliError::debug() const {
    std::string_view variant;
    switch (kind) {
        case Kind::MissingValue:
            variant = "MissingValue";
            break;
        case Kind::InvalidAppId:
            variant = "InvalidAppId";
            break;
        case Kind::UnknownOption:
            variant = "UnknownOption";
            break;
        case Kind::MissingRequired:
            variant = "MissingRequired";
            break;
    }
    return std::string(variant) + "(" + debug_quote(payload) + ")";
}

Error CliError::to_error() const {
    Error e = Error::make(ErrorKind::InvalidInput, message());
    e.debug_form = debug();
    return e;
}

}  // namespace ml
