// Application files: config.json, the runner, the WebView2 loader, the icons and the setup's
// own copy in the installation folder.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/console.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "runs/app_files_plan.hpp"
#include "runs/install_plan.hpp"
#include "runs/win32/install_stages.hpp"
#include "runs/win32/webview2_loader.hpp"
#include "steam/win32/fetch.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

namespace lines = app_files_lines;

// The largest config.json read back; the runner's own is a few hundred bytes.
constexpr std::uint64_t kConfigMaxBytes = 1u << 20;

// The running program's folder, empty when the system cannot tell it.
std::string program_dir() {
    const auto self = running_program_path();
    return self ? path_parent(*self) : std::string();
}

// Whether a file is an x64 Windows image of that kind whose sections all lie within it: the
// runner must be a program the system can start, the loader a library the runner can load.
// The same check holds for a local file as for a downloaded one.
bool is_x64_image_file(const std::string& path, ImageKind kind) {
    const auto size = file_size(path);
    if (!size) return false;
    const auto head = read_file_head(path, kImageHeaderBytes);
    return head && is_x64_image(*head, *size, kind);
}
bool is_runner_image(const std::string& path) {
    return is_x64_image_file(path, ImageKind::Program);
}
bool is_loader_image(const std::string& path) {
    return is_x64_image_file(path, ImageKind::Library);
}

// The zone of a file that a browser or mail program marked as downloaded from the Internet
// or a restricted site; nullopt for a file without such a mark. Windows keeps the mark in
// the file's Zone.Identifier stream, which SmartScreen checks before the file first runs; a
// copy into the installation folder would lose it.
std::optional<std::uint32_t> downloaded_zone(const std::string& path) {
    constexpr std::size_t kZoneStreamBytes = 4096;  // a few lines of text
    const auto stream = read_file_head(path + ":Zone.Identifier", kZoneStreamBytes);
    if (!stream || !is_marked_as_downloaded(*stream)) return std::nullopt;
    return zone_of_stream(*stream);
}

// True when a candidate names dest itself, however it is spelled.
bool is_destination(const std::string& candidate, const std::string& dest) {
    if (same_path(candidate, dest) || same_file(candidate, dest)) return true;
    const auto a = full_path(candidate);
    const auto b = full_path(dest);
    return a && b && same_path(*a, *b);
}

// The first candidate for dest that is an existing file and passes `usable`; `unusable` hears
// of each one that does not. A file is never its own source: the installed setup started
// again in its folder (from the Start Menu, or a double-click there) would otherwise take a
// damaged file for its own repair. A file marked as downloaded is passed over with a line:
// Explorer starts a downloaded setup in the Downloads folder, where a web page may have saved
// anything under these names.
std::optional<std::string> find_local(const std::vector<std::string>& candidates,
                                      const std::string& dest,
                                      const std::function<bool(const std::string&)>& usable,
                                      const std::function<void(const std::string&)>& unusable) {
    for (const std::string& candidate : candidates) {
        if (candidate.empty() || !is_regular_file(candidate) || is_destination(candidate, dest))
            continue;
        if (!usable(candidate)) {
            if (unusable) unusable(candidate);
            continue;
        }
        if (const auto zone = downloaded_zone(candidate)) {
            err(lines::passed_over_downloaded(candidate, *zone));
            continue;
        }
        return candidate;
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
// the installation folder is its own copy there, and a copy of a file onto itself can only
// fail or truncate it. Such a file is already in place.
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
    } else if (is_in_use(got.error())) {
        // Marrowlane runs from it. Placing a file by hand would fail the same way; the
        // download was removed again when it could not take the runner's place.
        err(lines::runner_in_use(context.runner_path));
        context.runner_in_use = true;
    } else if (is_regular_file(context.runner_path)) {
        // A repair without the server: the runner in the folder stays as it was.
        out(lines::runner_kept(got.error().message, context.install_path,
                               !is_runner_image(context.runner_path)));
    } else {
        out(lines::runner_not_downloaded(got.error().message, context.install_path));
    }
}

// Copies the first existing candidate to dest, or else downloads url there (an image only);
// failures leave the file as it was or missing, which the shortcuts and the uninstall entry
// cope with.
void deploy_optional_image(const std::vector<std::string>& candidates, const std::string& url,
                           const std::string& dest) {
    const auto any_file = [](const std::string&) { return true; };
    if (auto local = find_local(candidates, dest, any_file, {})) {
        (void)copy_into_place(*local, dest);
    } else {
        (void)download_or_copy(url, dest, is_image_file);
    }
}

}  // namespace

Result<void> write_config_file(const InstallContext& context) {
    const std::string dest = path_join(context.install_path, "config.json");
    if (context.options.dry_run) return {};
    // A reinstall keeps what the user or the runner set there; a file that cannot be read
    // counts as none.
    const auto existing = read_file(dest, kConfigMaxBytes);
    const std::string text =
        config_json_text_over(existing ? *existing : std::string(), context.origin,
                              context.options.game_name, context.options.game_url);
    // Replaced in one step: a failed write leaves the earlier configuration whole.
    if (auto written = replace_file_atomically(dest, text); !written) return written;
    out(lines::config_deployed(dest));
    return {};
}

Result<void> deploy_runner(const InstallContext& context) {
    const auto local =
        find_local(runner_candidates(program_dir()), context.runner_path, is_runner_image, {});
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
    // A saved page or another program's library under that name is passed over with a line.
    const auto passed_over = [](const std::string& c) { err(lines::loader_passed_over(c)); };
    if (auto local =
            find_local(loader_candidates(program_dir()), dest, is_loader_image, passed_over)) {
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

    // The setup's own copy, which the uninstall entry starts. One left over from an older
    // release would be what Windows Settings starts, so a failure is said.
    const auto self = running_program_path();
    if (!self || same_path(*self, context.runner_path)) return {};
    if (is_regular_file(*self)) {
        const std::string dest = path_join(context.install_path, kSetupCopyName);
        if (auto copied = copy_into_place(*self, dest); !copied)
            err(lines::setup_copy_failed(dest, copied.error().message, is_in_use(copied.error())));
    }
    return {};
}

}  // namespace ml
