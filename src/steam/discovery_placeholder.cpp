// Stand-in for Steam discovery until the real one lands: only the default folder under
// ProgramFiles(x86). The real discovery honours that folder too, so tests that make a Steam
// root there keep working when it replaces this file.
#include "steam/discovery.hpp"

#include "platform/env.hpp"
#include "platform/files.hpp"
#include "platform/path.hpp"

namespace ml {

std::vector<std::string> detect_steam_roots(const std::optional<std::string>& override_dir) {
    (void)override_dir;
    std::vector<std::string> roots;
    if (const auto base = env_var("ProgramFiles(x86)"); base && !base->empty()) {
        const std::string candidate = path_join(*base, "Steam");
        if (is_directory(candidate)) roots.push_back(candidate);
    }
    return roots;
}

std::vector<std::string> find_userdata_dirs(const std::string& root) {
    (void)root;
    return {};
}

}  // namespace ml
