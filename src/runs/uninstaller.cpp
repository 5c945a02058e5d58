#include "runs/runs.hpp"

namespace ml {

Result<void> run_uninstaller(bool non_interactive, bool cli) {
    (void)non_interactive;
    (void)cli;
    return {};
}

}  // namespace ml
