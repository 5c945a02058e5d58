// The example manifests in packaging/winget against the program itself: the switches a
// package manager passes must be ones the parser acts on, and the key and names it matches
// the installed entry by must be the ones the registration writes. A manifest that drifts
// from the program installs with a window, or never finds what it installed.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "build_config.hpp"
#include "cli/options.hpp"
#include "runs/install_plan.hpp"
#include "runs/registration_plan.hpp"

namespace ml {
namespace {

using Manifest = std::map<std::string, std::string>;

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Reads the block-style subset of YAML the manifests are written in: "Key: value" lines
// nested by indentation, "- " list items (scalars or mappings), whole-line comments. Every
// value is stored under its dotted path: "InstallerSwitches.Silent",
// "AppsAndFeaturesEntries.0.ProductCode", "InstallModes.1". Anything else (tabs, flow
// collections, a key given twice, an item without a key above it) fails the test.
Manifest read_manifest(const std::string& text, const std::string& file) {
    Manifest values;
    struct Level {
        std::size_t column;
        std::string name;
    };
    std::vector<Level> levels;
    std::map<std::string, int> items;
    const auto path_of = [&levels](std::string_view last) {
        std::string path;
        for (const Level& level : levels) path += level.name + ".";
        return path + std::string(last);
    };
    // A "Key: value" at a column; returns false when the line is not one.
    const auto key_line = [&](std::size_t column, std::string_view content, int line) {
        const auto colon = content.find(':');
        if (colon == std::string_view::npos || colon == 0) return false;
        const std::string key(content.substr(0, colon));
        const std::string value = unquoted(trimmed(content.substr(colon + 1)));
        while (!levels.empty() && levels.back().column >= column) levels.pop_back();
        const std::string path = path_of(key);
        EXPECT_FALSE(values.contains(path)) << file << ":" << line << " repeats " << path;
        EXPECT_FALSE(value.starts_with("[") || value.starts_with("{"))
            << file << ":" << line << " uses a flow collection";
        if (value.empty()) {
            levels.push_back({column, key});
        } else {
            values[path] = value;
        }
        return true;
    };

    std::istringstream lines(text);
    std::string raw;
    for (int line = 1; std::getline(lines, raw); ++line) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        EXPECT_EQ(raw.find('\t'), std::string::npos) << file << ":" << line << " has a tab";
        const std::size_t column = raw.find_first_not_of(' ');
        if (column == std::string::npos || raw[column] == '#') continue;
        std::string_view content = std::string_view(raw).substr(column);
        if (content.starts_with("- ")) {
            while (!levels.empty() && levels.back().column >= column) levels.pop_back();
            if (levels.empty()) {
                ADD_FAILURE() << file << ":" << line << " is a list item without a key";
                continue;
            }
            const std::string list = path_of("");
            const std::string index = std::to_string(items[list]++);
            levels.push_back({column, index});
            content.remove_prefix(2);
            if (!key_line(column + 2, content, line)) {
                levels.pop_back();
                values[list + index] = unquoted(trimmed(content));
            }
            continue;
        }
        if (!key_line(column, content, line))
            ADD_FAILURE() << file << ":" << line << " is not a key line: " << raw;
    }
    return values;
}

Manifest load(const std::string& name) {
    const std::string path = std::string(ML_PACKAGING_DIR) + "/winget/" + name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return read_manifest(text.str(), name);
}

std::vector<std::string> words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

std::expected<RunMode, CliError> parse(const std::vector<std::string>& args) {
    return parse_cli_args_from(args, nullptr);
}

// The uninstall entry's text value of that name, as the registration writes it.
std::string entry_text(std::string_view name) {
    for (const UninstallValue& value : uninstall_values("C:\\M", "C:\\M\\i.ico", "C:\\M\\r.exe", true))
        if (value.name == name) return std::get<std::string>(value.data);
    ADD_FAILURE() << "the entry has no value " << name;
    return {};
}

TEST(WingetManifest, ReaderFlattensTheSubsetItReads) {
    const Manifest read = read_manifest(
        "# comment\nA: 1\nB:\n  C: --x -y\n  D: 'q'\nL:\n  - one\n  - K: v\n    M: w\n"
        "  - two\nE: \"last\"\n",
        "sample");
    EXPECT_EQ(read, (Manifest{{"A", "1"},
                              {"B.C", "--x -y"},
                              {"B.D", "q"},
                              {"L.0", "one"},
                              {"L.1.K", "v"},
                              {"L.1.M", "w"},
                              {"L.2", "two"},
                              {"E", "last"}}));
}

TEST(WingetManifest, TheThreeFilesDescribeOnePackageOfThisVersion) {
    const Manifest version = load("Marrowlane.Marrowlane.yaml");
    const Manifest installer = load("Marrowlane.Marrowlane.installer.yaml");
    const Manifest locale = load("Marrowlane.Marrowlane.locale.en-US.yaml");
    const struct {
        const Manifest& manifest;
        const char* type;
    } files[] = {{version, "version"}, {installer, "installer"}, {locale, "defaultLocale"}};
    for (const auto& file : files) {
        EXPECT_EQ(file.manifest.at("ManifestType"), file.type);
        EXPECT_EQ(file.manifest.at("ManifestVersion"), version.at("ManifestVersion"));
        EXPECT_EQ(file.manifest.at("PackageIdentifier"), "Marrowlane.Marrowlane");
        // winget compares it with the entry's DisplayVersion to tell whether an upgrade is
        // due: a mismatch offers the same upgrade for ever.
        EXPECT_EQ(file.manifest.at("PackageVersion"), build::kVersion) << file.type;
    }
    EXPECT_EQ(version.at("DefaultLocale"), locale.at("PackageLocale"));
    EXPECT_EQ(entry_text("DisplayVersion"), build::kVersion);
    EXPECT_EQ(locale.at("PackageName"), entry_text("DisplayName"));
    EXPECT_EQ(locale.at("Publisher"), entry_text("Publisher"));
}

TEST(WingetManifest, InstallerRunsPerUserWithoutElevation) {
    const Manifest installer = load("Marrowlane.Marrowlane.installer.yaml");
    const std::map<std::string, std::string> expected = {
        {"InstallerType", "exe"},
        {"Scope", "user"},
        {"ElevationRequirement", "elevationProhibited"},
        {"Installers.0.Architecture", "x64"},
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(installer.at(key), value) << key;
    EXPECT_TRUE(installer.at("Installers.0.InstallerUrl").ends_with("/Marrowlane-Setup.exe"));
}

TEST(WingetManifest, SwitchesAreOnesTheParserActsOn) {
    const Manifest installer = load("Marrowlane.Marrowlane.installer.yaml");
    InstallOptions silent;
    silent.server_origin = build::kDefaultServerOrigin;
    silent.non_interactive = true;
    InstallOptions with_progress = silent;
    silent.cli = true;
    const struct {
        const char* key;
        InstallOptions options;
    } cases[] = {
        // No window and no question at all.
        {"InstallerSwitches.Silent", silent},
        // The progress window, but no question and no closing message box.
        {"InstallerSwitches.SilentWithProgress", with_progress},
    };
    const auto nothing = parse({});
    for (const auto& c : cases) {
        const std::vector<std::string> args = words(installer.at(c.key));
        EXPECT_EQ(parse(args), (RunMode{RunMode::Install{c.options}})) << c.key;
        // The parser passes over single-dash words it does not know, so a misspelt switch
        // ("-Y") would go unnoticed above when another one does the work: each one alone
        // must change what the command line asks for.
        for (const std::string& arg : args) EXPECT_NE(parse({arg}), nothing) << c.key << ": " << arg;
    }
}

TEST(WingetManifest, ProductCodeIsTheUninstallKeyTheRegistrationWrites) {
    const Manifest installer = load("Marrowlane.Marrowlane.installer.yaml");
    const std::string key_name(kUninstallSubkey.substr(kUninstallSubkey.rfind('\\') + 1));
    EXPECT_EQ(std::string(kUninstallSubkey.substr(0, kUninstallSubkey.rfind('\\'))),
              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    EXPECT_EQ(installer.at("ProductCode"), key_name);
    EXPECT_EQ(installer.at("AppsAndFeaturesEntries.0.ProductCode"), key_name);
    EXPECT_EQ(installer.at("AppsAndFeaturesEntries.0.DisplayName"), entry_text("DisplayName"));
    EXPECT_EQ(installer.at("AppsAndFeaturesEntries.0.Publisher"), entry_text("Publisher"));
}

}  // namespace
}  // namespace ml
