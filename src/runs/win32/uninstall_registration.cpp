// Uninstall registration: the setup's own copy listed in Windows Settings as the uninstaller,
// written through the registry interface (no `reg` child per value).
#include <windows.h>

#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/win32/console.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/registry.hpp"
#include "runs/install_plan.hpp"
#include "runs/win32/install_record.hpp"
#include "runs/win32/install_stages.hpp"
#include "runs/registration_plan.hpp"

namespace ml {
namespace {

LocalDate local_date_today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

// Each value is written on its own; one that fails does not stop the others. The reason of
// the first failure, naming its value; nullopt when every value was written.
std::optional<std::string> write_values(HKEY key, const std::vector<UninstallValue>& values) {
    std::optional<std::string> first_failure;
    for (const UninstallValue& value : values) {
        const Result<void> written = std::visit(
            [&](const auto& data) {
                if constexpr (std::is_same_v<std::decay_t<decltype(data)>, std::string>)
                    return set_registry_string(key, value.name, data);
                else
                    return set_registry_dword(key, value.name, data);
            },
            value.data);
        if (!written && !first_failure)
            first_failure = "value " + std::string(value.name) + ": " + written.error().message;
    }
    return first_failure;
}

}  // namespace

Result<void> register_uninstaller(const InstallContext& context) {
    // The icon is looked at now, after the files and shortcuts were deployed.
    const auto values = uninstall_values(context.install_path, context.icon_path,
                                         context.runner_path, path_exists(context.icon_path));
    // Windows Settings shows the size the entry states and measures nothing itself, so the
    // folder is measured now, with every file in place.
    const auto added = package_manager_values(
        context.install_path, folder_size(context.install_path), local_date_today());
    // Every value is still tried when one fails, as a partly written entry may still list the
    // product; but only a whole entry is reported as registered.
    std::optional<std::string> failure;
    if (auto key = create_registry_key(HKEY_CURRENT_USER, kUninstallSubkey)) {
        failure = write_values(key->get(), values);
        if (auto later = write_values(key->get(), added); !failure) failure = std::move(later);
    } else {
        failure = key.error().message;
    }
    if (failure) {
        err(uninstall_entry_failed_line(kUninstallSubkey, *failure));
        context.not_written.uninstall_entry = std::move(*failure);
        return {};
    }
    write_install_record(context);
    out(kUninstallerRegisteredLine);
    return {};
}

}  // namespace ml
