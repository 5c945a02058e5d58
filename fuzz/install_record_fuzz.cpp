// libFuzzer target: the installation record comes back from a registry value any program of
// the user can change. Any text must read as a record whose every entry passes the checks
// the uninstallation relies on, within the limits, and what is read must write out and read
// back as the same record.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runs/install_record_plan.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ml::InstallRecord record = ml::parse_install_record(text);
    if (record.folders.size() > ml::kMaxRecordEntries ||
        record.shortcuts.size() > ml::kMaxRecordEntries ||
        record.steam.size() > ml::kMaxRecordEntries)
        __builtin_trap();
    for (const std::string& folder : record.folders) {
        if (!ml::is_recordable_path(folder)) __builtin_trap();
    }
    for (const std::string& shortcut : record.shortcuts) {
        if (!ml::is_recordable_shortcut(shortcut)) __builtin_trap();
    }
    for (const ml::RecordedSteamEntry& entry : record.steam) {
        if (!ml::is_shortcut_appid(entry.appid) || !ml::is_recordable_path(entry.account))
            __builtin_trap();
    }
    if (ml::parse_install_record(ml::install_record_text(record)) != record) __builtin_trap();
    if (ml::merge_install_records(record, record) != record) __builtin_trap();
    return 0;
}
