#include "runs/run_lock_plan.hpp"

#include "platform/text.hpp"

namespace ml {

std::chrono::milliseconds lock_wait_with(std::optional<std::string_view> override_ms,
                                         std::chrono::milliseconds fallback) {
    return test_milliseconds(override_ms).value_or(fallback);
}

std::string run_holder_text(unsigned long process_id, RunKind run) {
    std::string_view what = "an injection run";
    if (run == RunKind::Installation) what = "an installation";
    if (run == RunKind::Uninstallation) what = "an uninstallation";
    return "process " + std::to_string(process_id) + ", " + std::string(what);
}

std::string printable_holder_text(std::string_view raw) {
    std::string text(raw);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) c = '?';
    }
    return text;
}

std::string another_run_text(std::string_view who, std::optional<std::string_view> holder) {
    std::string text = "another Marrowlane ";
    text.append(who);
    if (holder && !holder->empty()) text.append(" (").append(*holder).append(")");
    return text;
}

std::string run_busy_reason(std::string_view who, std::optional<std::string_view> holder,
                            std::string_view doing, std::chrono::milliseconds waited) {
    return another_run_text(who, holder)
        .append(" ")
        .append(doing)
        .append(" for over ")
        .append(duration_text(waited));
}

}  // namespace ml
