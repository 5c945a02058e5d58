// Uninstall registration: the setup's own copy listed in Windows Settings as the uninstaller,
// written through the registry interface (no `reg` child per value).
#include <variant>

#include "platform/console.hpp"
#include "platform/files.hpp"
#include "platform/registry.hpp"
#include "runs/install_plan.hpp"
#include "runs/install_stages.hpp"
#include "runs/registration_plan.hpp"

namespace ml {

Result<void> register_uninstaller(const InstallContext& context) {
    // The icon is looked at now, after the files and shortcuts were deployed.
    const auto values = uninstall_values(context.install_path, context.icon_path,
                                         context.runner_path, path_exists(context.icon_path));
    // Each value is written on its own; one that fails does not stop the others, and the
    // entry is reported all the same, as a partly written entry still lists the product.
    if (auto key = create_registry_key(HKEY_CURRENT_USER, kUninstallSubkey)) {
        for (const UninstallValue& value : values) {
            std::visit(
                [&](const auto& data) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(data)>, std::string>)
                        (void)set_registry_string(key->get(), value.name, data);
                    else
                        (void)set_registry_dword(key->get(), value.name, data);
                },
                value.data);
        }
    }
    out(kUninstallerRegisteredLine);
    return {};
}

}  // namespace ml
