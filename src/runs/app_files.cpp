// Application files: config.json, the runner, the WebView2 loader, the icons and the setup's
// own copy in the installation folder.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.hpp"
#include "platform/files.hpp"
#include "platform/path.hpp"
#include "runs/app_files_plan.hpp"
#include "runs/install_stages.hpp"
#include "runs/webview2_loader.hpp"
#include "steam/fetch.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

namespace lines = app_files_lines;

// The running program's folder, empty when the system cannot tell it.
std::string program_dir() {
    const auto self = running_program_path();
    return self ? path_parent(*self) : std::string();
}

// The first candidate that passes the test; the empty path (an unknown program folder) never
// does.
std::optional<std::string> first_match(const std::vector<std::string>& candidates,
                                       const std::function<bool(const std::string&)>& test) {
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && test(candidate)) return candidate;
    }
    return std::nullopt;
}

// Whether a file's headers are those of an x64 Windows image of that kind: the runner must be
// a program the system can start, the loader a library the runner can load. The same check
// holds for a local file as for a downloaded one.
bool is_x64_image_file(const std::string& path, ImageKind kind) {
    if (!is_regular_file(path)) return false;
    const auto head = read_file_head(path, kImageHeaderBytes);
    return head && is_x64_image_headers(*head, kind);
}
bool is_runner_image(const std::string& path) {
    return is_x64_image_file(path, ImageKind::Program);
}
bool is_loader_image(const std::string& path) {
    return is_x64_image_file(path, ImageKind::Library);
}

// The first local loader that is an x64 library. Explorer starts a downloaded setup in the
// Downloads folder, where a saved page or another program's library may lie under that
// name: each such file is passed over with a line, and the search goes on.
std::optional<std::string> find_local_loader() {
    for (const std::string& candidate : loader_candidates(program_dir())) {
        if (candidate.empty() || !is_regular_file(candidate)) continue;
        if (is_loader_image(candidate)) return candidate;
        err(lines::loader_passed_over(candidate));
    }
    return std::nullopt;
}

// True when the file holds other bytes than the loader this setup carries (one that cannot
// be read counts as different).
bool differs_from_embedded_loader(const std::string& path) {
    const std::string_view embedded = embedded_webview2_loader();
    if (file_size(path) != embedded.size()) return true;
    const auto bytes = read_file(path, embedded.size());
    return !bytes || *bytes != embedded;
}

// Copies from onto to, unless both name one file: the installed setup started again from
// the installation folder finds the installed files themselves as its local copies, and a
// copy of a file onto itself can only fail or truncate it. Such a file is already in place.
Result<void> copy_into_place(const std::string& from, const std::string& to) {
    if (same_path(from, to) || same_file(from, to)) return {};
    return copy_file(from, to);
}

// Downloads the runner. download_or_copy lets it take runner_path's place only when it is an
// executable image: an error page or a broken download never replaces a working runner.
void download_runner(const InstallContext& context) {
    const std::string url = runner_url(context.origin);
    out(lines::runner_fetching(url));
    auto got = download_or_copy(url, context.runner_path, is_runner_image);
    if (got) {
        out(lines::runner_downloaded(context.runner_path));
    } else if (got.error().kind == ErrorKind::InvalidData) {
        // The server answered, but with something else (a portal's page); the runner that
        // was there, if any, stays.
        err(lines::runner_invalid(context.runner_path));
    } else {
        // Also a runner that is running: it cannot be replaced, and stays as it is.
        out(lines::runner_not_downloaded(got.error().message, context.install_path));
    }
}

// Copies the first existing candidate to dest, or else downloads url there (an image only);
// failures leave the file missing, which the shortcuts and the uninstall entry cope with.
void deploy_optional_image(const std::vector<std::string>& candidates, const std::string& url,
                           const std::string& dest) {
    if (auto local = first_match(candidates, is_regular_file)) {
        (void)copy_into_place(*local, dest);
    } else {
        (void)download_or_copy(url, dest, is_image_file);
    }
}

}  // namespace

Result<void> write_config_file(const InstallContext& context) {
    const std::string dest = path_join(context.install_path, "config.json");
    const std::string text =
        config_json_text(context.origin, context.options.game_name, context.options.game_url);
    if (context.options.dry_run) return {};
    // Replaced in one step: a failed write leaves the earlier configuration whole.
    if (auto written = replace_file_atomically(dest, text); !written) return written;
    out(lines::config_deployed(dest));
    return {};
}

Result<void> deploy_runner(const InstallContext& context) {
    const auto local = first_match(runner_candidates(program_dir()), is_runner_image);
    if (local) {
        out(lines::runner_found(*local));
        if (!context.options.dry_run) {
            if (auto copied = copy_into_place(*local, context.runner_path); !copied) return copied;
        }
        out(lines::runner_deployed(context.runner_path));
        return {};
    }
    if (!context.options.dry_run) download_runner(context);
    return {};
}

Result<void> deploy_webview2_loader(const InstallContext& context) {
    const std::string dest = path_join(context.install_path, "WebView2Loader.dll");
    if (auto local = find_local_loader()) {
        auto copied = context.options.dry_run ? Result<void>{} : copy_into_place(*local, dest);
        if (copied) {
            out(lines::loader_local(*local, dest));
            // The runner loads it at every start: a library planted beside the setup is at
            // least visible.
            if (differs_from_embedded_loader(*local)) err(lines::loader_differs(*local));
            return {};
        }
        // The runner still needs a loader: the search goes on.
        err(lines::loader_local_failed(*local, dest, copied.error().message));
    }
    if (context.options.dry_run) return {};
    const std::string url = loader_url(context.origin);
    out(lines::loader_fetching(url));
    // Checked before it replaces anything: a portal's page saved as the library would break
    // the runner, while the exact library is built in.
    if (download_or_copy(url, dest, is_loader_image) && is_regular_file(dest)) {
        out(lines::loader_downloaded(dest));
        return {};
    }
    out(lines::loader_extracting(dest));
    if (auto written = replace_file_atomically(dest, embedded_webview2_loader()); !written) {
        err(lines::loader_extract_failed(dest, written.error().message));
        return {};
    }
    out(lines::loader_extracted(dest));
    return {};
}

Result<void> deploy_icons_and_setup_copy(const InstallContext& context) {
    if (context.options.dry_run) return {};
    const std::string dir = program_dir();
    deploy_optional_image(icon_candidates(dir), icon_url(context.origin), context.icon_path);
    deploy_optional_image(image_candidates(), image_url(context.origin),
                          path_join(context.install_path, "marrowlane.png"));

    // The setup's own copy, which the uninstall entry starts.
    const auto self = running_program_path();
    if (!self || same_path(*self, context.runner_path)) return {};
    if (is_regular_file(*self)) {
        (void)copy_into_place(*self, path_join(context.install_path, "Marrowlane-Setup.exe"));
    }
    return {};
}

}  // namespace ml
