#pragma once

// Helpers of the shortcuts.vdf tests: building file bytes by hand, and reading the shared
// real files in place (natively and under Wine).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"

namespace ml::vdf_test {

inline std::string nul() {
    return std::string(1, '\0');
}

inline std::string le32(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
            static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

// A string node, an int32 node, a nested table node and an entry, as the format frames them.
inline std::string str_node(std::string_view key, std::string_view value) {
    return "\x01" + std::string(key) + nul() + std::string(value) + nul();
}
inline std::string int_node(std::string_view key, std::uint32_t value) {
    return "\x02" + std::string(key) + nul() + le32(value);
}
inline std::string table_node(std::string_view key, std::string_view children) {
    return nul() + std::string(key) + nul() + std::string(children) + "\x08";
}
inline std::string entry(std::string_view name, std::string_view fields) {
    return table_node(name, fields);
}
inline std::string header() {
    return nul() + "shortcuts" + nul();
}
// A whole file: header, the entries, and the two closing bytes.
inline std::string file_of(std::string_view entries) {
    return header() + std::string(entries) + "\x08\x08";
}

// The folder of real shortcuts.vdf files, or nullopt when this machine has none. Under
// Wine a Unix path is reached through drive Z:, which maps the Unix root.
inline std::optional<std::filesystem::path> shortcut_fixtures_dir() {
    std::string dir = std::string(ML_FIXTURES_DIR) + "/shortcuts-vdf";
#ifdef _WIN32
    if (!dir.empty() && dir.front() == '/') {
        for (char& c : dir) {
            if (c == '/') c = '\\';
        }
        dir = "Z:" + dir;
    }
#endif
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return std::nullopt;
    return std::filesystem::path(dir);
}

inline std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One row of MANIFEST.tsv: file name, size and writer.
struct ManifestRow {
    std::string file;
    std::size_t bytes = 0;
    std::string writer;
};

inline std::vector<ManifestRow> read_manifest(const std::filesystem::path& dir) {
    std::istringstream text(read_bytes(dir / "MANIFEST.tsv"));
    std::vector<ManifestRow> rows;
    std::string line;
    std::getline(text, line);  // column names
    while (std::getline(text, line)) {
        std::istringstream cols(line);
        ManifestRow row;
        std::string bytes, sha256;
        std::getline(cols, row.file, '\t');
        std::getline(cols, bytes, '\t');
        std::getline(cols, sha256, '\t');
        std::getline(cols, row.writer, '\t');
        if (row.file.empty()) continue;
        row.bytes = std::stoul(bytes);
        rows.push_back(row);
    }
    return rows;
}

// A sink that keeps every piece it is handed, in order. It refuses the piece numbered
// refuse_at (from 0) and, should more come, every later one.
struct RecordingSink final : VdfSink {
    std::vector<std::string> pieces;
    std::size_t refuse_at = static_cast<std::size_t>(-1);

    bool write(std::string_view bytes) override {
        const bool take = pieces.size() < refuse_at;
        pieces.emplace_back(bytes);
        return take;
    }
    std::string joined() const {
        std::string all;
        for (const std::string& piece : pieces) all += piece;
        return all;
    }
};

// The streaming writer's output for a list or a view, gathered from its pieces.
template <class List>
std::string streamed(const List& list) {
    RecordingSink sink;
    if (!write_shortcuts_vdf(list, sink)) return "(the writer reported a refusal)";
    return sink.joined();
}

// The view parse agrees with the owned parse of the same bytes: the same records or the same
// error, every place inside the buffer, and both streaming writers give the string writer's
// bytes.
inline ::testing::AssertionResult view_agrees(std::string_view bytes) {
    const auto owned = parse_shortcuts_vdf(bytes);
    const auto view = parse_shortcuts_vdf_view(bytes);
    if (owned.has_value() != view.has_value()) {
        return ::testing::AssertionFailure() << "only one parse failed";
    }
    if (!owned) {
        if (owned.error() == view.error()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "errors differ: " << owned.error().message << " / " << view.error().message;
    }
    if (view->file.data() != bytes.data() || view->file.size() != bytes.size()) {
        return ::testing::AssertionFailure() << "the view is not of the parsed buffer";
    }
    const auto inside = [&](VdfSpan s) {
        return s.offset <= bytes.size() && s.length <= bytes.size() - s.offset;
    };
    for (const ShortcutRef& e : view->entries) {
        for (const VdfSpan s : {e.app_name, e.exe, e.start_dir, e.icon, e.shortcut_path,
                                e.launch_options, e.devkit_game_id, e.flatpak_app_id}) {
            if (!inside(s)) return ::testing::AssertionFailure() << "a field's place is outside";
        }
        if (e.first_tag + std::size_t{e.tag_count} > view->tags.size() ||
            e.first_extra + std::size_t{e.extra_count} > view->extras.size()) {
            return ::testing::AssertionFailure() << "an entry's lists run past their end";
        }
    }
    for (const VdfSpan s : view->tags) {
        if (!inside(s)) return ::testing::AssertionFailure() << "a tag's place is outside";
    }
    for (const auto* nodes : {&view->extras, &view->children}) {
        for (const VdfNodeRef& node : *nodes) {
            if (!inside(node.key) || !inside(node.bytes)) {
                return ::testing::AssertionFailure() << "a node's place is outside";
            }
            if (node.marker == 0x00 &&
                node.number + std::size_t{node.count} > view->children.size()) {
                return ::testing::AssertionFailure() << "a table's children run past their end";
            }
        }
    }
    if (to_shortcuts(*view) != *owned) {
        return ::testing::AssertionFailure() << "the view's records differ";
    }
    const std::string written = serialize_shortcuts_vdf(*owned);
    if (streamed(*view) != written) {
        return ::testing::AssertionFailure() << "the view's writer differs";
    }
    if (streamed(std::span<const SteamShortcut>(*owned)) != written) {
        return ::testing::AssertionFailure() << "the streaming writer differs";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace ml::vdf_test
