#pragma once

// Installation stages made by tests: one function per stage, built from the stage's name.
#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "runs/win32/install_stages.hpp"

namespace ml::testing {

// The stages' names in the order the installation runs them.
inline constexpr std::array<std::string_view, 7> kStageNames = {"write_config",
                                                                "deploy_runner",
                                                                "deploy_webview2_loader",
                                                                "deploy_icons_and_setup_copy",
                                                                "register_in_steam_library",
                                                                "create_windows_shortcuts",
                                                                "register_uninstaller"};

// Every stage made by make(name).
inline InstallStages stages_named(
    const std::function<InstallStages::Stage(std::string name)>& make) {
    InstallStages stages;
    InstallStages::Stage* slots[] = {&stages.write_config,
                                     &stages.deploy_runner,
                                     &stages.deploy_webview2_loader,
                                     &stages.deploy_icons_and_setup_copy,
                                     &stages.register_in_steam_library,
                                     &stages.create_windows_shortcuts,
                                     &stages.register_uninstaller};
    for (std::size_t i = 0; i < kStageNames.size(); ++i)
        *slots[i] = make(std::string(kStageNames[i]));
    return stages;
}

}  // namespace ml::testing
