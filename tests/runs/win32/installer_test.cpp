#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"
#include "runs/install_plan.hpp"
#include "runs/win32/install_stages.hpp"
#include "support/named_stages.hpp"
#include "support/std_streams.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

using testing::StdinFeed;
using testing::StreamCapture;

// Sets an environment variable for the life of the object (nullopt removes it).
class EnvOverride {
  public:
    EnvOverride(const wchar_t* name, std::optional<std::string> value) : name_(name) {
        wchar_t buf[32768];
        const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
        if (n > 0 && n < 32768) old_ = std::wstring(buf, n);
        SetEnvironmentVariableW(name, value ? widen(*value).c_str() : nullptr);
    }
    ~EnvOverride() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

  private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

const std::vector<std::string> kAllStages(testing::kStageNames.begin(), testing::kStageNames.end());

// Stages that record their calls; the one named `failing` returns an error.
InstallStages recording_stages(std::vector<std::string>& calls, const std::string& failing = "") {
    const auto stage = [&calls, failing](std::string name) {
        return [&calls, failing, name](const InstallContext&) -> Result<void> {
            calls.push_back(name);
            if (name == failing) return fail(ErrorKind::PermissionDenied, name + " refused");
            return {};
        };
    };
    return testing::stages_named(stage);
}

// A sandbox profile: LOCALAPPDATA and ProgramFiles(x86) inside a temporary folder.
struct Profile {
    testing::TempDir dir;
    EnvOverride local{L"LOCALAPPDATA", dir / "Local"};
    EnvOverride programs{L"ProgramFiles(x86)", dir / "Programs"};
    std::string install_path() const { return path_join(dir / "Local", "Marrowlane"); }
};

TEST(Installer, StagesRunInOrderAndStopAtAFatalError) {
    struct Case {
        const char* name;
        bool dry_run;
        bool steam_root;
        std::string failing;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> first_two = {kAllStages[0], kAllStages[1]};
    const std::vector<Case> cases = {
        {"full run", false, true, "", kAllStages},
        {"dry run skips shortcuts and registration",
         true,
         false,
         "",
         {kAllStages.begin(), kAllStages.begin() + 5}},
        {"config.json fails", false, false, "write_config", {kAllStages[0]}},
        {"runner copy fails", false, false, "deploy_runner", first_two},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Profile profile;
        if (c.steam_root) {
            ASSERT_TRUE(create_directories(profile.dir / "Programs\\Steam"));
        }
        InstallOptions options;
        options.server_origin = "http://origin.test//";
        options.cli = true;
        options.non_interactive = true;
        options.dry_run = c.dry_run;
        options.desktop = false;

        std::vector<std::string> calls;
        StreamCapture out(STD_OUTPUT_HANDLE);
        const auto result = run_installer_with(options, recording_stages(calls, c.failing));
        const std::string printed = out.finish();

        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(is_directory(profile.install_path()), !c.dry_run);
        options.install_dir = std::nullopt;
        InstallContext expected = make_install_context(
            options,
            c.steam_root ? std::vector<std::string>{profile.dir / "Programs\\Steam"}
                         : std::vector<std::string>{},
            profile.dir / "Local");
        // These stages put no runner into the folder, and the summary says so.
        expected.runner_missing = !c.dry_run;
        const std::string head = banner_text() + location_text(expected);
        if (c.failing.empty()) {
            ASSERT_TRUE(result);
            EXPECT_EQ(printed, head + summary_text(expected));
        } else {
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().message, c.failing + " refused");
            EXPECT_EQ(printed, head);
        }
    }
}

// The progress window of this process (other test processes may have theirs open).
HWND own_progress_window() {
    for (HWND hwnd = FindWindowW(L"MarrowlaneProgressDlg", nullptr); hwnd;
         hwnd = FindWindowExW(nullptr, hwnd, L"MarrowlaneProgressDlg", nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == GetCurrentProcessId()) return hwnd;
    }
    return nullptr;
}

TEST(Installer, FolderThatCannotBeCreatedEndsTheRunBeforeAnyStage) {
    Profile profile;
    ASSERT_TRUE(write_file(profile.dir / "blocker", "a file where a folder should go"));
    InstallOptions options;
    options.non_interactive = true;  // with the progress window
    options.install_dir = profile.dir / "blocker\\Marrowlane";
    std::vector<std::string> calls;
    StreamCapture out(STD_OUTPUT_HANDLE);
    const auto result = run_installer_with(options, recording_stages(calls));
    const std::string printed = out.finish();
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().os_code, 0u);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(printed.find("Installation Completed"), std::string::npos);
    EXPECT_EQ(own_progress_window(), nullptr);
}

TEST(Installer, TerminalRunWaitsForExactlyOneLine) {
    Profile profile;
    InstallOptions options;
    options.cli = true;
    options.dry_run = true;
    StdinFeed input("first\r\nsecond\n");
    StreamCapture out(STD_OUTPUT_HANDLE);
    std::vector<std::string> calls;
    ASSERT_TRUE(run_installer_with(options, recording_stages(calls)));
    const std::string printed = out.finish();
    EXPECT_TRUE(printed.ends_with("======\n\nPress Enter to finish...")) << printed;
    EXPECT_EQ(input.rest(), "second\n");
}

TEST(Installer, TemporaryNamesStayWithinTheLengthTheFolderRuleAllowsFor) {
    // The installation folder's length rule counts on what a temporary file beside an
    // installed file adds to its name: ".<tag>-<process id>-<count>.tmp", the two numbers
    // 32-bit decimals. Downloads use the tag "download", atomic replacements "new".
    const std::string installed = R"(C:\M\WebView2Loader.dll)";
    for (const std::string tag : {"download", "new"}) {
        const std::string suffix = temporary_path_beside(installed, tag).substr(installed.size());
        ASSERT_TRUE(suffix.starts_with("." + tag + "-") && suffix.ends_with(".tmp")) << suffix;
        const std::string numbers = suffix.substr(tag.size() + 2, suffix.size() - tag.size() - 6);
        const auto dash = numbers.find('-');
        ASSERT_NE(dash, std::string::npos) << suffix;
        EXPECT_LE(dash, 10u) << suffix;
        EXPECT_LE(numbers.size() - dash - 1, 10u) << suffix;
        EXPECT_EQ(numbers.find_first_not_of("0123456789-"), std::string::npos) << suffix;
    }
    // The longest tag with both numbers at their longest.
    EXPECT_EQ(kTemporarySuffixMaxLength, std::string(".download-4294967295-4294967295.tmp").size());
}

}  // namespace
}  // namespace ml
