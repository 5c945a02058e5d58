#pragma once

// Helpers of the shortcuts.vdf tests: building file bytes by hand, and reading the shared
// real files in place (natively and under Wine).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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

}  // namespace ml::vdf_test
