#pragma once

// The application files' texts and rules that need no operating system: config.json, the
// local search lists, the server addresses and the console lines of each file step.
#include <string>
#include <string_view>
#include <vector>

namespace ml {

// The seven lines of config.json (line feeds, no final one), the three values escaped.
std::string config_json_text(std::string_view origin, std::string_view game_name,
                             std::string_view game_url);

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
