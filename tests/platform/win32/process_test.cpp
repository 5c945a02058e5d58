#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <chrono>

#include "platform/win32/executable.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/process.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"
#include "support/poll.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

using testing::poll_until;
using testing::TempDir;

// A test tool's Windows path (the build passes a Unix path; Wine maps / to Z:).
std::string tool(std::string_view name) {
    std::string path = std::string("Z:") + ML_TEST_TOOLS_DIR + "/" + std::string(name) + ".exe";
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

// The processes running from an image of this name (any letter case).
std::vector<DWORD> processes_named(const std::string& image) {
    std::vector<DWORD> found;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (ascii_lower(narrow(entry.szExeFile)) == ascii_lower(image))
            found.push_back(entry.th32ProcessID);
    }
    return found;
}

void end_processes_named(const std::string& image) {
    for (const DWORD pid : processes_named(image)) {
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        if (process) TerminateProcess(process.get(), 1);
    }
}

// chatter under a name of its own, so that the test can count its processes (and those of
// the helper it leaves behind, which runs from the same image).
struct NamedChatter {
    TempDir dir;
    std::string name;
    std::string path;
    explicit NamedChatter(std::string_view tag)
        : name(std::string(tag) + "-" + std::to_string(GetCurrentProcessId()) + ".exe"),
          path(dir / name) {
        EXPECT_TRUE(copy_file(tool("chatter"), path));
    }
    ~NamedChatter() {
        end_processes_named(name);
        poll_until([&] { return processes_named(name).empty(); });
    }
};

TEST(Process, ArgumentsReachARealChildUnchanged) {
    const std::vector<std::vector<std::string>> cases = {
        {"plain", "", "two words", "tab\there"},
        {R"(C:\Program Files\x\)", R"(a\\b)", R"(\\server\share\)"},
        {R"(a"b)", R"(a\"b)", R"(")", R"(\")", R"(say "hi" \\)"},
        {"imagename eq steam.exe", "Invoke-WebRequest -Uri 'http://x/it''s' -OutFile 'C:\\a b\\'"},
        {"caf\xC3\xA9 \xE2\x9C\x93", "\xE6\xBC\xA2\xE5\xAD\x97", "\xF0\x9F\x8E\xAE"},
    };
    for (const auto& args : cases) {
        auto run = run_child(tool("argecho"), args, ChildOptions::captured());
        ASSERT_TRUE(run) << run.error().message;
        EXPECT_EQ(run->exit_code, 0u);
        // argecho prints its raw command line, then one debug-form line per argument.
        std::string expected;
        for (const auto& a : args) expected += debug_quote(a) + "\n";
        const std::string& out = run->out;
        ASSERT_NE(out.find('\n'), std::string::npos);
        EXPECT_EQ(out.substr(out.find('\n') + 1), expected) << out;
    }
}

TEST(Process, ExitStatusStartErrorsAndCapture) {
    // Exit codes come through whole, including the large NTSTATUS-like ones.
    for (const std::uint32_t code : {0u, 1u, 7u, 255u, 0xC0000005u}) {
        auto status = run_hidden_command(tool("chatter"), {"3", "0", std::to_string(code)});
        ASSERT_TRUE(status) << status.error().message;
        EXPECT_EQ(*status, code);
    }

    // A tool that does not exist, or a text no command line can carry, is a start error.
    auto missing = run_hidden_command("no-such-tool-7f3a", {});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().os_code, ERROR_FILE_NOT_FOUND);
    auto nul = run_hidden_command(tool("chatter"), {std::string("1\0", 2)});
    ASSERT_FALSE(nul);
    EXPECT_EQ(nul.error().kind, ErrorKind::InvalidInput);
    EXPECT_FALSE(run_child(tool("chatter"), {}, ChildOptions::detached(ChildOutput::Capture)));
    ChildOptions waits_for_us;
    waits_for_us.input = ChildInput::UntilWeExit;
    EXPECT_FALSE(run_child(tool("chatter"), {}, waits_for_us));

    // Far more than a pipe holds, on both streams at once: reading one while the child
    // blocks on the other would hang here.
    auto run = run_child(tool("chatter"), {"60000", "0", "3"}, ChildOptions::captured());
    ASSERT_TRUE(run);
    EXPECT_EQ(run->exit_code, 3u);
    EXPECT_EQ(run->out.size(), run->err.size());
    EXPECT_GT(run->out.size(), 500000u);
    EXPECT_TRUE(run->out.starts_with("out 0\nout 1\n"));
    EXPECT_TRUE(run->err.ends_with("err 59999\n"));
}

TEST(Process, AtItsLimitAChildGoesWithWhatItStarted) {
    for (const ChildOutput output : {ChildOutput::Capture, ChildOutput::Discard}) {
        SCOPED_TRACE(output == ChildOutput::Capture ? "captured" : "discarded");
        NamedChatter chatter("limited");
        ChildOptions options;
        options.output = output;
        options.wait_limit_ms = 300;
        // It leaves a helper holding its output, then never ends by itself.
        auto run = run_child(chatter.path, {"2", "600000", "0", "600000"}, options);
        ASSERT_TRUE(run) << run.error().message;
        EXPECT_EQ(run->exit_code, std::nullopt);
        EXPECT_TRUE(run->out.empty());
        EXPECT_TRUE(poll_until([&] { return processes_named(chatter.name).empty(); }))
            << processes_named(chatter.name).size() << " still running";
    }
}

TEST(Process, LeftoversEndWithAProbeButOutliveAnAction) {
    {
        // A probe's answer is complete when the probe ends, even though the helper it left
        // holds the pipes: the helper is ended rather than waited for.
        NamedChatter chatter("probe");
        auto run = run_child(chatter.path, {"3", "0", "5", "600000"}, ChildOptions::captured());
        ASSERT_TRUE(run) << run.error().message;
        EXPECT_EQ(run->exit_code, 5u);
        EXPECT_EQ(run->out, "out 0\nout 1\nout 2\n");
        EXPECT_EQ(run->err, "err 0\nerr 1\nerr 2\n");
        EXPECT_TRUE(poll_until([&] { return processes_named(chatter.name).empty(); }));
    }
    {
        // What an action started (a Steam client asked to shut down may start helpers of its
        // own) is none of our business once the action is done. The helper is left to end by
        // itself: Wine keeps the hidden console host of a console program that is ended while
        // still starting, and that host would hold the test's own output open for good.
        NamedChatter chatter("action");
        auto status = run_hidden_command(chatter.path, {"0", "0", "0", "2000"});
        ASSERT_TRUE(status) << status.error().message;
        EXPECT_EQ(*status, 0u);
        EXPECT_EQ(processes_named(chatter.name).size(), 1u);
        EXPECT_TRUE(poll_until([&] { return processes_named(chatter.name).empty(); }));
    }
}

TEST(Process, RawTailIsParsedByCmdItself) {
    // cmd reads the quotes of its command itself: a folder with spaces in plain double
    // quotes, commands joined with &, as a later uninstaller runs them.
    TempDir dir;
    const std::string folder = dir / "old install";
    ASSERT_TRUE(create_directories(folder + "\\sub"));
    ASSERT_TRUE(write_file(folder + "\\sub\\f.txt", "x"));
    ChildOptions options = ChildOptions::captured();
    options.raw_tail = "echo one> nul & rmdir /s /q \"" + folder + "\" & echo done";
    auto run = run_child("cmd", {"/c"}, options);
    ASSERT_TRUE(run) << run.error().message;
    EXPECT_EQ(run->exit_code, 0u);
    EXPECT_EQ(run->out, "done\r\n");
    EXPECT_FALSE(path_exists(folder));
}

TEST(Process, WatchEndsAChildWhoseFileStopsGrowing) {
    TempDir dir;
    ChildOptions options;
    options.watch = ChildWatch{dir / "never-written.bin", {}};
    options.watch->limits.stall = std::chrono::milliseconds(500);

    // A child that would write nothing for ten minutes is ended at the stall limit, not
    // waited for (the upper bound is only a guard against a hang).
    const auto start = std::chrono::steady_clock::now();
    auto silent = run_child(tool("chatter"), {"0", "600000", "0"}, options);
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(silent) << silent.error().message;
    EXPECT_EQ(silent->stopped, TransferEnd::Stalled);
    EXPECT_NE(silent->exit_code, 0u);
    EXPECT_GE(waited, std::chrono::milliseconds(500));
    EXPECT_LT(waited, std::chrono::minutes(5));

    // One that ends by itself in time keeps its own exit status.
    auto quick = run_child(tool("chatter"), {"0", "0", "3"}, options);
    ASSERT_TRUE(quick);
    EXPECT_EQ(quick->stopped, std::nullopt);
    EXPECT_EQ(quick->exit_code, 3u);

    // The watch looks at the file while the child runs, so it cannot also drain pipes.
    options.output = ChildOutput::Capture;
    EXPECT_FALSE(run_child(tool("chatter"), {}, options));
}

TEST(Process, ExecutableCheckLooksAtTheFirstTwoBytesOnly) {
    TempDir dir;
    struct Case {
        std::string name, content;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"empty.exe", "", false},    {"one.exe", "M", false},     {"mz.txt", "MZ hello", true},
        {"exactly.exe", "MZ", true}, {"zm.exe", "ZM\x90", false}, {"lower.exe", "mz", false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(write_file(dir / c.name, c.content));
        EXPECT_EQ(is_valid_executable_for_platform(dir / c.name), c.valid) << c.name;
    }
    ASSERT_TRUE(create_directories(dir / "folder.exe"));
    EXPECT_FALSE(is_valid_executable_for_platform(dir / "folder.exe"));
    EXPECT_FALSE(is_valid_executable_for_platform(dir / "missing.exe"));
    EXPECT_TRUE(is_valid_executable_for_platform(tool("chatter")));
    {
        // Held open by another program without sharing: unreadable, so not an executable.
        UniqueFile lock(CreateFileW(widen(dir / "exactly.exe").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock);
        EXPECT_FALSE(is_valid_executable_for_platform(dir / "exactly.exe"));
    }
}

}  // namespace
}  // namespace ml
