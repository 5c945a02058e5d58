// Application files: config.json, the runner, the WebView2 loader, the icons and the setup's
// own copy in the installation folder.
#include "runs/install_stages.hpp"

namespace ml {

Result<void> write_config_file(const InstallContext& context) {
    (void)context;
    return {};
}

Result<void> deploy_runner(const InstallContext& context) {
    (void)context;
    return {};
}

Result<void> deploy_webview2_loader(const InstallContext& context) {
    (void)context;
    return {};
}

Result<void> deploy_icons_and_setup_copy(const InstallContext& context) {
    (void)context;
    return {};
}

}  // namespace ml
