#include <gtest/gtest.h>

#include <map>

#include "build_config.hpp"
#include "cli/options.hpp"

namespace ml {
namespace {

EnvLookup env_from(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](std::string_view name) -> std::optional<std::string> {
        auto it = vars.find(std::string(name));
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
}

std::expected<RunMode, CliError> parse(std::vector<std::string> args,
                                       std::map<std::string, std::string> env = {}) {
    return parse_cli_args_from(args, env_from(std::move(env)));
}

InstallOptions default_install() {
    InstallOptions o;
    o.server_origin = build::kDefaultServerOrigin;
    return o;
}

RunMode install(InstallOptions o) {
    return RunMode{RunMode::Install{std::move(o)}};
}
RunMode inject(CliOptions o) {
    return RunMode{RunMode::Inject{std::move(o)}};
}

struct ModeCase {
    std::vector<std::string> args;
    RunMode expected;
};

TEST(ParseCliArgs, SelectsTheRunMode) {
    InstallOptions named_foo = default_install();
    named_foo.game_name = "Foo";
    CliOptions foo;
    foo.name = "Foo";
    const std::vector<ModeCase> cases = {
        {{}, install(default_install())},
        {{"--install"}, install(default_install())},
        {{"--help"}, RunMode{RunMode::Help{}}},
        {{"-h", "--bogus"}, RunMode{RunMode::Help{}}},
        {{"--name", "Foo", "-h"}, RunMode{RunMode::Help{}}},
        {{"--name", "-h"}, RunMode{RunMode::Help{}}},
        {{"--uninstall", "-h"}, RunMode{RunMode::Help{}}},
        {{"--uninstall"}, RunMode{RunMode::Uninstall{false, false}}},
        {{"--uninstall", "--bogus"}, RunMode{RunMode::Uninstall{false, false}}},
        {{"--install", "--uninstall"}, RunMode{RunMode::Uninstall{false, false}}},
        {{"-y", "--uninstall", "--no-gui"}, RunMode{RunMode::Uninstall{true, true}}},
        {{"--uninstall", "--non-interactive", "--cli"}, RunMode{RunMode::Uninstall{true, true}}},
        {{"--name", "Foo", "--install"}, install(named_foo)},
        {{"--game-name", "Foo"}, install(named_foo)},
        {{"--name", "Foo"}, inject(foo)},
    };
    for (const auto& c : cases) {
        auto got = parse(c.args);
        ASSERT_TRUE(got.has_value()) << testing::PrintToString(c.args);
        EXPECT_EQ(*got, c.expected) << testing::PrintToString(c.args);
    }
}

TEST(ParseCliArgs, InstallOptions) {
    auto with = [](auto change) {
        InstallOptions o = default_install();
        change(o);
        return install(o);
    };
    const std::vector<ModeCase> cases = {
        {{"--server-origin", "http://x/"}, with([](auto& o) { o.server_origin = "http://x/"; })},
        {{"--install-dir", "D:\\Apps"}, with([](auto& o) { o.install_dir = "D:\\Apps"; })},
        {{"--url", "--weird"}, with([](auto& o) { o.game_url = "--weird"; })},
        {{"--name", "A", "--game-name", "B", "--install"},
         with([](auto& o) { o.game_name = "B"; })},
        {{"--steam", "--no-steam"}, with([](auto& o) { o.steam_library = false; })},
        {{"--no-steam", "--steam"}, with([](auto& o) { o.steam_library = true; })},
        {{"--desktop"}, with([](auto& o) { o.desktop = true; })},
        {{"--no-desktop"}, with([](auto& o) { o.desktop = false; })},
        {{"--menu", "--no-start-menu"}, with([](auto& o) { o.start_menu = false; })},
        {{"--no-menu", "--start-menu"}, with([](auto& o) { o.start_menu = true; })},
        {{"--cli"}, with([](auto& o) { o.cli = true; })},
        {{"--no-gui"}, with([](auto& o) { o.cli = true; })},
        {{"-y"}, with([](auto& o) { o.non_interactive = true; })},
        {{"--non-interactive"}, with([](auto& o) { o.non_interactive = true; })},
        {{"--dry-run"}, with([](auto& o) { o.dry_run = true; })},
        {{"-x", "word", "", "-"}, install(default_install())},
    };
    for (const auto& c : cases) {
        auto got = parse(c.args);
        ASSERT_TRUE(got.has_value()) << testing::PrintToString(c.args);
        EXPECT_EQ(*got, c.expected) << testing::PrintToString(c.args);
    }
}

TEST(ParseCliArgs, ServerOriginComesFromTheEnvironment) {
    auto origin_of = [](std::vector<std::string> args, std::map<std::string, std::string> env) {
        auto got = parse(std::move(args), std::move(env));
        return std::get<RunMode::Install>(got->mode).options.server_origin;
    };
    EXPECT_EQ(origin_of({}, {}), build::kDefaultServerOrigin);
    EXPECT_EQ(origin_of({}, {{"SERVER_ORIGIN", "http://127.0.0.1:8080"}}), "http://127.0.0.1:8080");
    EXPECT_EQ(origin_of({}, {{"SERVER_ORIGIN", ""}}), "");
    EXPECT_EQ(origin_of({"--server-origin", "https://b"}, {{"SERVER_ORIGIN", "https://a"}}),
              "https://b");
}

TEST(ParseCliArgs, InjectionOptions) {
    auto with = [](auto change) {
        CliOptions o;
        o.name = "Foo";
        change(o);
        return inject(o);
    };
    const std::vector<ModeCase> cases = {
        {{"--name", "Foo", "--url", "game"}, with([](auto& o) {
             o.url = "game";
             o.launch_opts = "--url \"game\"";
         })},
        {{"--name", "Foo", "--url", "u", "--launch-opts", ""}, with([](auto& o) {
             o.url = "u";
             o.launch_opts = "--url \"u\"";
         })},
        // A quote in the address would close the quotes and pass the rest as arguments.
        {{"--name", "Foo", "--url", "https://x/g?a=\" --evil \"b"}, with([](auto& o) {
             o.url = "https://x/g?a=\" --evil \"b";
             o.launch_opts = "--url \"https://x/g?a=%22 --evil %22b\"";
         })},
        {{"--name", "Foo", "--url", "u", "--launch-opts", "-x"}, with([](auto& o) {
             o.url = "u";
             o.launch_opts = "-x";
         })},
        {{"--name", "Bar", "--name", "Foo"}, with([](auto&) {})},
        {{"--name", "Foo", "--exe", "\"C:\\a b\\r.exe\""},
         with([](auto& o) { o.exe = "\"C:\\a b\\r.exe\""; })},
        {{"--name", "Foo", "--hero", "h", "--logo", "l", "--capsule", "c", "--banner", "b",
          "--icon", "i", "--steam-dir", "--dry-run"},
         with([](auto& o) {
             o.hero = "h";
             o.logo = "l";
             o.capsule = "c";
             o.banner = "b";
             o.icon = "i";
             o.steam_dir = "--dry-run";
         })},
        {{"--name", "Foo", "--dry-run", "-y", "stray"}, with([](auto& o) { o.dry_run = true; })},
        {{"--name", "Foo", "--appid", "-1"}, with([](auto& o) { o.appid = -1; })},
        {{"--name", "Foo", "--appid", "+7"}, with([](auto& o) { o.appid = 7; })},
    };
    for (const auto& c : cases) {
        auto got = parse(c.args);
        ASSERT_TRUE(got.has_value()) << testing::PrintToString(c.args);
        EXPECT_EQ(*got, c.expected) << testing::PrintToString(c.args);
    }
}

struct ErrorCase {
    std::vector<std::string> args;
    CliError::Kind kind;
    std::string payload;
    std::string message;
    std::string debug;
};

TEST(ParseCliArgs, Errors) {
    using K = CliError::Kind;
    const std::vector<ErrorCase> cases = {
        {{"--name", "Foo", "--cli"},
         K::UnknownOption,
         "--cli",
         "Unknown option: --cli",
         "UnknownOption(\"--cli\")"},
        {{"--name", "Foo", "--install-dir", "x"},
         K::UnknownOption,
         "--install-dir",
         "Unknown option: --install-dir",
         "UnknownOption(\"--install-dir\")"},
        {{"--name", "Foo", "--game-name", "x"},
         K::UnknownOption,
         "--game-name",
         "Unknown option: --game-name",
         "UnknownOption(\"--game-name\")"},
        {{"--name=Foo"},
         K::UnknownOption,
         "--name=Foo",
         "Unknown option: --name=Foo",
         "UnknownOption(\"--name=Foo\")"},
        {{"--"}, K::UnknownOption, "--", "Unknown option: --", "UnknownOption(\"--\")"},
        {{"--bogus", "--also-bogus"},
         K::UnknownOption,
         "--bogus",
         "Unknown option: --bogus",
         "UnknownOption(\"--bogus\")"},
        {{"--name"},
         K::MissingValue,
         "--name",
         "Missing value for option: --name",
         "MissingValue(\"--name\")"},
        {{"--game-name"},
         K::MissingValue,
         "--game-name",
         "Missing value for option: --game-name",
         "MissingValue(\"--game-name\")"},
        {{"--install-dir"},
         K::MissingValue,
         "--install-dir",
         "Missing value for option: --install-dir",
         "MissingValue(\"--install-dir\")"},
        {{"--name", "Foo", "--steam-dir"},
         K::MissingValue,
         "--steam-dir",
         "Missing value for option: --steam-dir",
         "MissingValue(\"--steam-dir\")"},
        {{"--url", "x", "--name", ""},
         K::MissingRequired,
         "--name",
         "Required option missing: --name",
         "MissingRequired(\"--name\")"},
        {{"--name", "Foo", "--appid", "12a"},
         K::InvalidAppId,
         "invalid digit found in string",
         "Invalid appid: invalid digit found in string",
         "InvalidAppId(\"invalid digit found in string\")"},
        {{"--name", "Foo", "--appid", "2147483648"},
         K::InvalidAppId,
         "number too large to fit in target type",
         "Invalid appid: number too large to fit in target type",
         "InvalidAppId(\"number too large to fit in target type\")"},
        {{"--name", "Foo", "--appid", "x", "--cli"},
         K::InvalidAppId,
         "invalid digit found in string",
         "Invalid appid: invalid digit found in string",
         "InvalidAppId(\"invalid digit found in string\")"},
    };
    for (const auto& c : cases) {
        auto got = parse(c.args);
        ASSERT_FALSE(got.has_value()) << testing::PrintToString(c.args);
        EXPECT_EQ(got.error().kind, c.kind) << testing::PrintToString(c.args);
        EXPECT_EQ(got.error().payload, c.payload);
        EXPECT_EQ(got.error().message(), c.message);
        EXPECT_EQ(got.error().debug(), c.debug);
        EXPECT_EQ(got.error().to_error().debug(), c.debug);
        EXPECT_EQ(got.error().to_error().display(), c.message);
    }
}

// The removal after an uninstallation gets the names of a user's files: none of them may
// be taken for an option, and what does not fit on a command line is left out whole.
TEST(ParseCliArgs, TheHiddenRemovalGetsBackWhatItWasGiven) {
    const std::string folder = R"(\\?\C:\Users\Jörg & Ann\AppData\Local\Marrowlane)";
    const std::vector<LeftoverRemoval> cases = {
        {folder, {}, {}},
        {folder, {"Marrowlane-Setup.exe", R"(saves\old\slot 1.dat)"}, {R"(saves\old)", "saves"}},
        {folder,
         {"--help", "-y", "--uninstall", "--name", "--folder", "\"quoted\"", "trail\\"},
         {"--file", "-h"}},
    };
    for (const LeftoverRemoval& removal : cases) {
        const auto args = leftover_removal_arguments(removal, 32'000);
        EXPECT_EQ(parse(args), RunMode{RunMode::RemoveLeftovers{removal}})
            << testing::PrintToString(args);
    }

    const LeftoverRemoval many{
        folder, std::vector<std::string>(2000, std::string(40, 'x')), {"saves"}};
    const auto args = leftover_removal_arguments(many, 32'000);
    std::size_t length = 0;
    for (const std::string& arg : args) length += arg.size() + 3;
    EXPECT_LT(length, 32'000u);
    const auto parsed = parse(args);
    ASSERT_TRUE(parsed);
    const auto& got = std::get<RunMode::RemoveLeftovers>(parsed->mode).removal;
    EXPECT_EQ(got.folder, folder);
    EXPECT_GT(got.files.size(), 100u);
    EXPECT_LT(got.files.size(), 2000u);

    // Only as the first argument; a malformed list is an error, not a removal.
    EXPECT_EQ(parse({"--uninstall", std::string(kRemoveLeftoversOption), folder}),
              (RunMode{RunMode::Uninstall{false, false}}));
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{std::string(kRemoveLeftoversOption)},
          {std::string(kRemoveLeftoversOption), folder, "--file"},
          {std::string(kRemoveLeftoversOption), folder, "saves", "x"}})
        EXPECT_FALSE(parse(bad)) << testing::PrintToString(bad);
}

TEST(ParseCliArgs, ErrorDebugFormEscapesThePayload) {
    EXPECT_EQ((CliError{CliError::Kind::UnknownOption, "--a\"b\\c\nd\te"}).debug(),
              "UnknownOption(\"--a\\\"b\\\\c\\nd\\te\")");
    EXPECT_EQ((CliError{CliError::Kind::UnknownOption, "--\x01\x7f"}).debug(),
              "UnknownOption(\"--\\u{1}\\u{7f}\")");
    EXPECT_EQ((CliError{CliError::Kind::UnknownOption, "--✓"}).debug(), "UnknownOption(\"--✓\")");
}

TEST(ParseAppid, NumberRule) {
    struct Case {
        std::string text;
        std::expected<std::int32_t, std::string> expected;
    };
    const auto err = [](const char* m) { return std::unexpected<std::string>(m); };
    const std::vector<Case> cases = {
        {"0", 0},
        {"42", 42},
        {"+7", 7},
        {"-1", -1},
        {"-0", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"0000000000002147483647", 2147483647},
        {"2147483648", err("number too large to fit in target type")},
        {"99999999999999999999", err("number too large to fit in target type")},
        {"-2147483649", err("number too small to fit in target type")},
        {"-99999999999999999999", err("number too small to fit in target type")},
        {"", err("cannot parse integer from empty string")},
        {"+", err("invalid digit found in string")},
        {"-", err("invalid digit found in string")},
        {"12a", err("invalid digit found in string")},
        {" 1", err("invalid digit found in string")},
        {"1 ", err("invalid digit found in string")},
        {"+-1", err("invalid digit found in string")},
        {"0x10", err("invalid digit found in string")},
        {"１", err("invalid digit found in string")},  // a full-width digit is not ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_appid(c.text), c.expected) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace ml
