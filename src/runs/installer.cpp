#include "runs/runs.hpp"

namespace ml {

Result<void> run_installer(InstallOptions options) {
    (void)options;
    return {};
}

}  // namespace ml
