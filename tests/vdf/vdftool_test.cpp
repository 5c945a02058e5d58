// vdftool against the real files: it reads the file whole and writes through the streaming
// writer, so its output must be what the product's reader and writer give.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "vdf/shortcuts_json.hpp"
#include "vdf/shortcuts_vdf.hpp"
#include "vdf_files.hpp"
#include "vdf_test_support.hpp"

namespace ml {
namespace {

using namespace vdf_test;
namespace fs = std::filesystem;

// A fresh folder for one test, removed with its content afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "vdftool-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    fs::path operator/(std::string_view name) const { return path_ / name; }
    bool made() const { return !path_.empty(); }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), {}));
    }

  private:
    fs::path path_;
};

// What one run of vdftool printed, and its exit status.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

ToolRun vdftool(const ScratchDir& dir, const std::string& arguments) {
    const fs::path out = dir / "stdout", err = dir / "stderr";
    const std::string command =
        quoted(ML_VDFTOOL) + " " + arguments + " >" + quoted(out) + " 2>" + quoted(err);
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = read_bytes(out);
    run.err = read_bytes(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

TEST(Vdftool, RoundtripAndDumpGiveTheLibrarysBytesAndJsonForEveryRealFile) {
    const auto fixtures = shortcut_fixtures_dir();
    if (!fixtures) GTEST_SKIP() << "no shared fixtures folder";
    ScratchDir dir;
    ASSERT_TRUE(dir.made());
    std::size_t written = 0, refused = 0;
    for (const ManifestRow& row : read_manifest(*fixtures)) {
        SCOPED_TRACE(row.file);
        const fs::path in = *fixtures / row.file;
        const fs::path out = dir / "out.vdf";
        const auto parsed = parse_shortcuts_vdf(read_bytes(in));
        const ToolRun roundtrip = vdftool(dir, "roundtrip " + quoted(in) + " " + quoted(out));
        const ToolRun dump = vdftool(dir, "dump " + quoted(in));
        if (!parsed) {
            // A damaged file: the reader's message, and nothing written, not even a
            // temporary file.
            const std::string line =
                "vdftool: " + in.string() + ": " + parsed.error().message + "\n";
            EXPECT_EQ(roundtrip.status, 1);
            EXPECT_EQ(roundtrip.err, line);
            EXPECT_EQ(dump.status, 1);
            EXPECT_EQ(dump.err, line);
            EXPECT_EQ(dir.entries(), 0u);
            ++refused;
            continue;
        }
        ASSERT_EQ(roundtrip.status, 0) << roundtrip.err;
        EXPECT_TRUE(read_bytes(out) == serialize_shortcuts_vdf(*parsed));
        ASSERT_EQ(dump.status, 0) << dump.err;
        EXPECT_TRUE(dump.out == shortcuts_to_json(*parsed));
        fs::remove(out);
        ++written;
    }
    EXPECT_EQ(written, 68u);
    EXPECT_EQ(refused, 6u);
}

TEST(Vdftool, RoundtripMayRewriteItsInputInPlace) {
    const auto fixtures = shortcut_fixtures_dir();
    if (!fixtures) GTEST_SKIP() << "no shared fixtures folder";
    ScratchDir dir;
    ASSERT_TRUE(dir.made());
    // Files whose canonical form differs from what they hold, the largest one included.
    for (const char* name : {"steam-2017-6242-entries.vdf", "tool-random-key-order-a.vdf",
                             "steam-pre2017-root-capital-S.vdf"}) {
        SCOPED_TRACE(name);
        const std::string original = read_bytes(*fixtures / name);
        const auto parsed = parse_shortcuts_vdf(original);
        ASSERT_TRUE(parsed.has_value());
        const std::string canonical = serialize_shortcuts_vdf(*parsed);
        ASSERT_NE(canonical, original);
        const fs::path file = dir / "shortcuts.vdf";
        std::ofstream(file, std::ios::binary) << original;
        const ToolRun run = vdftool(dir, "roundtrip " + quoted(file) + " " + quoted(file));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(read_bytes(file) == canonical);
        EXPECT_EQ(dir.entries(), 1u);  // no temporary file left beside it
    }
}

TEST(Vdftool, AnInputThatShrinksAfterItWasOpenedIsReadAsItWas) {
    // Steam, or another roundtrip, rewrites the file in place while the tool works on it. A
    // mapping of the file lost the pages past the new end, and reading them raised SIGBUS.
    const auto fixtures = shortcut_fixtures_dir();
    if (!fixtures) GTEST_SKIP() << "no shared fixtures folder";
    ScratchDir dir;
    ASSERT_TRUE(dir.made());
    const std::string original = read_bytes(*fixtures / "steam-2017-6242-entries.vdf");
    const fs::path file = dir / "shortcuts.vdf";
    std::ofstream(file, std::ios::binary) << original;
    tools::FileBytes bytes;
    ASSERT_EQ(bytes.open(file.c_str()), "");
    for (const off_t size : {off_t{100}, off_t{0}}) {
        ASSERT_EQ(truncate(file.c_str(), size), 0);
        EXPECT_TRUE(bytes.bytes() == original);
        const auto view = parse_shortcuts_vdf_view(bytes.bytes());
        ASSERT_TRUE(view.has_value());
        EXPECT_EQ(view->entries.size(), 6242u);
    }
}

TEST(Vdftool, ReportsFilesItCannotReadOrWrite) {
    ScratchDir dir;
    ASSERT_TRUE(dir.made());
    const fs::path empty = dir / "empty.vdf";
    std::ofstream(empty, std::ios::binary).flush();
    const fs::path missing = dir / "missing.vdf";
    const fs::path nowhere = dir / "no-such-folder" / "out.vdf";
    struct Case {
        std::string name;
        std::string arguments;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"an empty file has no entries", "dump " + quoted(empty), 0, ""},
        {"a missing input", "roundtrip " + quoted(missing) + " " + quoted(dir / "o.vdf"), 1,
         "vdftool: cannot read " + missing.string() + ": No such file or directory\n"},
        {"a folder as input", "dump " + quoted(dir / "."), 1,
         "vdftool: cannot read " + (dir / ".").string() + ": not a regular file\n"},
        {"an output in a missing folder", "roundtrip " + quoted(empty) + " " + quoted(nowhere), 1,
         "vdftool: cannot write " + nowhere.string() + ": No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const ToolRun run = vdftool(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
    }
    EXPECT_EQ(vdftool(dir, "dump " + quoted(empty)).out, "[]\n");
    EXPECT_EQ(dir.entries(), 1u);  // only the empty file
}

}  // namespace
}  // namespace ml
