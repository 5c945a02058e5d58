#include "runs/setup_lock_plan.hpp"

#include <cstdint>

#include "platform/text.hpp"

namespace ml {
namespace {

std::string another_setup(std::optional<std::string_view> holder) {
    return another_run_text("setup", holder);
}

}  // namespace

std::wstring removal_marker_name(std::string_view folder_key) {
    // FNV-1a: stable across builds and versions, which a setup and the uninstaller of an
    // earlier version must agree on.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : folder_key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    std::wstring name(L"Local\\Marrowlane-Setup-Removal-");
    for (int shift = 60; shift >= 0; shift -= 4)
        name.push_back(L"0123456789abcdef"[(hash >> shift) & 0xF]);
    return name;
}

std::string setup_lock_waiting_line(std::optional<std::string_view> holder) {
    return "[*] Waiting for " + another_setup(holder) + " to finish...\n";
}

std::string removal_waiting_line(std::string_view folder, std::optional<std::string_view> holder) {
    return "[*] Waiting for " + another_setup(holder) + " to finish removing " +
           debug_quote(folder) + "...\n";
}

std::string setup_lock_busy_reason(std::optional<std::string_view> holder,
                                   std::chrono::milliseconds waited) {
    return run_busy_reason("setup", holder, "has been running", waited);
}

std::string removal_busy_reason(std::optional<std::string_view> holder,
                                std::chrono::milliseconds waited) {
    return run_busy_reason("setup", holder, "has been removing the application folder", waited);
}

std::string install_busy_error(std::string_view reason) {
    return "Nothing was installed: " + std::string(reason) +
           ". Run the setup again once it has finished.";
}

}  // namespace ml
