#include "runs/runs.hpp"

namespace ml {

Result<void> run_gridloom(CliOptions options) {
    (void)options;
    return {};
}

}  // namespace ml
