// Desktop and Start Menu shortcuts to the runner.
#include "runs/install_stages.hpp"

namespace ml {

Result<void> create_windows_shortcuts(const InstallContext& context) {
    (void)context;
    return {};
}

}  // namespace ml
