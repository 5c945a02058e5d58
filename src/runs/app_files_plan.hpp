#pragma once

// The application files' texts and rules that need no operating system: config.json, the
// local search lists, the server addresses and the console lines of each file step.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ml {

// The seven lines of config.json (line feeds, no final one), the three values escaped.
std::string config_json_text(std::string_view origin, std::string_view game_name,
                             std::string_view game_url);

// config.json written over existing, the file an earlier installation left (empty when there
// is none): when existing is one JSON object, its auto_check_updates (when true or false)
// and the members this product does not own follow the product's values, each as it was
// written; otherwise config_json_text. The same text as config_json_text for a file holding
// only the product's five members with auto_check_updates true.
std::string config_json_text_over(std::string_view existing, std::string_view origin,
                                  std::string_view game_name, std::string_view game_url);

// The zone a Zone.Identifier stream names (ZoneId in its [ZoneTransfer] section, as ASCII or
// UTF-16 text); nullopt when it names none.
std::optional<std::uint32_t> zone_of_stream(std::string_view stream);

// True when a file's Zone.Identifier stream marks it as downloaded from the Internet (zone
// 3) or a restricted site (zone 4), as browsers and mail programs mark what they save.
bool is_marked_as_downloaded(std::string_view stream);

// The local places searched for each file, in order. program_dir is the running program's
// folder; when it is empty its entry is the empty path, which never names a file.
std::vector<std::string> runner_candidates(std::string_view program_dir);
std::vector<std::string> loader_candidates(std::string_view program_dir);
std::vector<std::string> icon_candidates(std::string_view program_dir);
std::vector<std::string> image_candidates();

// The server addresses below origin.
std::string runner_url(std::string_view origin);
std::string loader_url(std::string_view origin);
std::string icon_url(std::string_view origin);
std::string image_url(std::string_view origin);

// Console lines of the file steps; paths are shown in debug form.
namespace app_files_lines {
std::string config_deployed(std::string_view path);
std::string runner_found(std::string_view candidate);
std::string runner_deployed(std::string_view runner_path);
std::string runner_fetching(std::string_view url);
std::string runner_downloaded(std::string_view runner_path);
// On standard error.
std::string runner_invalid(std::string_view runner_path);
std::string runner_not_downloaded(std::string_view message, std::string_view install_path);
// The runner could not be downloaded and the one in the folder stays: a working one, or one
// that fails the image check (damaged).
std::string runner_kept(std::string_view message, std::string_view install_path, bool damaged);
// On standard error: the downloaded runner could not take the place of one in use.
std::string runner_in_use(std::string_view runner_path);
// On standard error: a local file passed over, as it is marked as downloaded (its zone).
std::string passed_over_downloaded(std::string_view source, std::uint32_t zone);
// On standard error: the setup's copy could not be replaced (in use, or the error's message).
std::string setup_copy_failed(std::string_view dest, std::string_view message, bool in_use);
std::string loader_local(std::string_view source, std::string_view dest);
// On standard error: a local WebView2Loader.dll passed over, as it is no x64 library.
std::string loader_passed_over(std::string_view source);
// On standard error: a local WebView2Loader.dll whose copy failed (the error's message).
std::string loader_local_failed(std::string_view source, std::string_view dest,
                                std::string_view message);
// On standard error: a local WebView2Loader.dll that is not the library this setup carries.
std::string loader_differs(std::string_view source);
std::string loader_fetching(std::string_view url);
std::string loader_downloaded(std::string_view dest);
std::string loader_extracting(std::string_view dest);
std::string loader_extracted(std::string_view dest);
// On standard error: the built-in copy could not be written (the error's message).
std::string loader_extract_failed(std::string_view dest, std::string_view message);
}  // namespace app_files_lines

}  // namespace ml
