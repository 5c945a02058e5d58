#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"

namespace ml {

// What the pipeline offers its stages while the installation runs. The pipeline owns it.
struct InstallFeedback {
    // Shows a status text in the progress window at a percentage (nothing without a window).
    std::function<void(std::uint32_t percent, std::string_view text)> show;
};

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
    // What the shortcut and registration stages were asked for but could not write, each with
    // the reason, filled in as they run: the summary and the end box list only what is on
    // disk. Empty in a dry run.
    struct NotWritten {
        std::optional<std::string> start_menu_shortcut;
        std::optional<std::string> desktop_shortcut;
        std::optional<std::string> uninstall_entry;

        friend bool operator==(const NotWritten&, const NotWritten&) = default;
    };
    mutable NotWritten not_written;
    // Set by the pipeline after the stages (never in a dry run) when the folder holds no
    // marrowlane.exe: the shortcuts and the Steam entry have nothing to start yet.
    bool runner_missing = false;
    // The pipeline's feedback for its stages; absent when a stage runs alone (tests).
    InstallFeedback* feedback = nullptr;
    // A value a stage fills in as it runs, for the summary: set by the Steam stage when
    // it ran (not a dry run) and nothing reached any account: no artwork image, or every
    // Steam file left alone (Steam could not be closed, or another run held the files). The
    // summary then does not claim the Steam library.
    mutable bool steam_nothing_delivered = false;
    // Set by the runner step when a running Marrowlane held the runner, so that the one on disk
    // is the previous release; the summary and the end box then do not claim an update.
    mutable bool runner_in_use = false;

    friend bool operator==(const InstallContext&, const InstallContext&) = default;
};

}  // namespace ml
