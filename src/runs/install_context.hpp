#pragma once

#include <string>
#include <vector>

#include "cli/options.hpp"

namespace ml {

// The working values of one installation, computed once by the pipeline before its first
// stage and read by every stage. Paths are UTF-8 Windows paths.
struct InstallContext {
    // The run's options; after the options dialog its three choices hold the user's answers.
    InstallOptions options;
    // Steam roots found at the start of the run (before any dialog), possibly none.
    std::vector<std::string> steam_roots;
    // The choices with their defaults applied: unset Steam follows whether a root was found,
    // unset shortcuts count as wanted.
    bool steam_enabled = false;
    bool desktop_enabled = true;
    bool start_menu_enabled = true;
    // server_origin without its trailing slashes; download addresses are "{origin}/...".
    std::string origin;
    // The installation folder and the two files the shortcuts and Steam entry point at.
    std::string install_path;
    std::string runner_path;
    std::string icon_path;
    // The one value a stage fills in as it runs, for the summary: set by the Steam stage when
    // it ran (not a dry run) and no artwork image reached any account, so that the summary
    // does not claim the Steam library.
    mutable bool steam_nothing_delivered = false;

    friend bool operator==(const InstallContext&, const InstallContext&) = default;
};

}  // namespace ml
