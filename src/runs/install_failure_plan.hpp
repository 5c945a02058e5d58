#pragma once

// What the error box says when an installation with windows ends early. A user who started
// the setup from Explorer has no console: the "Error: ..." line reaches no one, so the box
// names what failed, why, and what the user can do.
#include <string>
#include <string_view>

#include "platform/error.hpp"
#include "runs/install_context.hpp"

namespace ml {

// The places where an installation ends with an operating system error.
enum class FatalStep {
    CreateFolder,  // the installation folder (or a folder above it) could not be created
    WriteConfig,   // config.json could not be written
    CopyRunner,    // a local runner that was found could not be copied into the folder
    Other,         // any other stage that ended the run
};

// Caption of the error box: "{game_name} Setup - Installation Failed".
std::string failure_box_title(std::string_view game_name);

// The box for a step that failed with `error`: what failed (with the folder or file it
// concerns), the error's message, and what to do for the error's kind.
std::string failure_box_text(const InstallContext& context, FatalStep step, const Error& error);

// The box for an installation folder too long for the paths in it: the folder, its length and
// the most it may have.
std::string folder_too_long_box_text(std::string_view game_name, std::string_view install_path);

// The box when another setup kept this one waiting past the limit; reason as the setup lock
// gave it ("another Marrowlane setup (process 1234, an installation) has been running for over
// 3 minutes").
std::string setup_busy_box_text(std::string_view game_name, std::string_view reason);

}  // namespace ml
