// libFuzzer target: whatever an earlier config.json holds, reading it must end without a
// crash or a deep recursion, and the file written over it must be one JSON object that
// begins with the product's values and reads back to itself: a second reinstall over it
// changes nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/json_object.hpp"
#include "runs/app_files_plan.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)ml::json_object_members(bytes);

    const std::string written = ml::config_json_text_over(bytes, "https://o", "G \"x\"", "");
    const auto members = ml::json_object_members(written);
    if (!members || members->size() < 5) __builtin_trap();
    const char* const ours[] = {"server_origin", "installed_version", "game_name", "game_url",
                                "auto_check_updates"};
    for (std::size_t k = 0; k < 5; ++k) {
        if ((*members)[k].name != ours[k]) __builtin_trap();
    }
    const std::string_view auto_check = (*members)[4].value_text;
    if (auto_check != "true" && auto_check != "false") __builtin_trap();
    if (ml::config_json_text_over(written, "https://o", "G \"x\"", "") != written) __builtin_trap();
    return 0;
}
