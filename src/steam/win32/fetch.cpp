#include "steam/win32/fetch.hpp"

#include <functional>

#include "platform/win32/console.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/win32/process.hpp"
#include "platform/text.hpp"
#include "platform/transfer_watch.hpp"
#include "platform/win32/url_download.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

// One download method: fills the file at its argument and says whether it succeeded.
using DownloadMethod = std::function<bool(const std::string& file)>;

// The limits every download method runs under. Tests shorten them through two variables
// (milliseconds), read once; without them the shipped limits hold.
const TransferLimits& download_limits() {
    static const TransferLimits limits = [] {
        const auto stall = env_var("ML_TEST_DOWNLOAD_STALL_MS");
        const auto total = env_var("ML_TEST_DOWNLOAD_TOTAL_MS");
        return transfer_limits_with(stall ? std::optional<std::string_view>(*stall) : std::nullopt,
                                    total ? std::optional<std::string_view>(*total) : std::nullopt);
    }();
    return limits;
}

// Runs a download tool that writes `file`, ended with everything it started when the file
// stops growing or the tool runs too long: curl and PowerShell have no such limit of their
// own as we call them. True when it ran to its end with exit status 0.
bool run_download_tool(std::string_view program, const std::vector<std::string>& arguments,
                       const std::string& file) {
    ChildOptions options;
    options.watch = ChildWatch{file, download_limits()};
    auto run = run_child(program, arguments, options);
    return run && !run->stopped && run->exit_code == 0u;
}

bool has_content(const std::string& file) {
    const auto size = file_size(file);
    return size && *size > 0;
}

// What one method achieved.
enum class MethodOutcome {
    Failed,    // no complete file
    Rejected,  // a complete file that the content check refused
    Placed,    // the file now lies at dest
};

// Runs one method into a fresh file beside dest and moves that file into place only when the
// method succeeded and the check approves it: a failed, partial or refused download never
// replaces a file that worked before. A move that fails is the fetch's error.
Result<MethodOutcome> download_beside(const std::string& dest, const DownloadMethod& method,
                                      const ContentCheck& accept) {
    const std::string temp = temporary_path_beside(dest, "download");
    MethodOutcome outcome = MethodOutcome::Failed;
    if (method(temp))
        outcome = !accept || accept(temp) ? MethodOutcome::Placed : MethodOutcome::Rejected;
    if (outcome == MethodOutcome::Placed) {
        auto moved = move_file_replacing(temp, dest);
        if (moved) return outcome;
        (void)remove_file(temp);
        return std::unexpected(moved.error());
    }
    if (path_exists(temp)) (void)remove_file(temp);
    return outcome;
}

Result<void> copy_local(std::string_view source, const std::string& dest) {
    const std::string from(source);
    if (!path_exists(from)) {
        return fail(ErrorKind::NotFound, "Local asset not found: " + from);
    }
    out("  Copying local asset: " + debug_quote(from) + " -> " + debug_quote(dest) + "\n");
    // A failure here shows up as the copy's own error.
    (void)create_directories(path_parent(dest));
    return copy_file(from, dest);
}

Result<void> download(std::string_view source, const std::string& dest,
                      const ContentCheck& accept) {
    const std::string url(source);
    out("  Downloading asset: " + url + " -> " + debug_quote(dest) + "\n");
    (void)create_directories(path_parent(dest));

    const DownloadMethod methods[] = {
        [&](const std::string& file) {
            return url_download_to_file(url, file, download_limits()).has_value() &&
                   has_content(file);
        },
        [&](const std::string& file) {
            // curl reports a body cut short of its Content-Length itself (exit status 18).
            return run_download_tool("curl", {"-fsSL", url, "-o", file}, file) && has_content(file);
        },
        [&](const std::string& file) {
            // An empty file counts here: PowerShell reported success for it.
            return run_download_tool("powershell",
                                     {"-NoProfile", "-NonInteractive", "-WindowStyle", "Hidden",
                                      "-Command", powershell_download_script(url, file)},
                                     file) &&
                   path_exists(file);
        },
    };
    bool refused = false;
    for (const DownloadMethod& method : methods) {
        auto outcome = download_beside(dest, method, accept);
        if (!outcome) return std::unexpected(outcome.error());
        if (*outcome == MethodOutcome::Placed) return {};
        refused = refused || *outcome == MethodOutcome::Rejected;
    }
    return fail(refused ? ErrorKind::InvalidData : ErrorKind::Other,
                "Failed to download asset from " + url);
}

}  // namespace

Result<void> download_or_copy(std::string_view source, const std::string& dest,
                              const ContentCheck& accept) {
    return is_web_address(source) ? download(source, dest, accept) : copy_local(source, dest);
}

bool is_image_file(const std::string& file) {
    const auto head = read_file_head(file, kContentSignatureBytes);
    return head && has_image_signature(*head);
}

}  // namespace ml
