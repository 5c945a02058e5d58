#include "runs/install_failure_plan.hpp"

#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/install_plan.hpp"

namespace ml {
namespace {

constexpr std::string_view kRunAgain = "run the setup again.";

// The first sentence of the box: what could not be done.
std::string headline(std::string_view name, FatalStep step) {
    const std::string failed = std::string(name) + " could not be installed";
    switch (step) {
        case FatalStep::CreateFolder:
            return failed + ": the installation folder could not be created.";
        case FatalStep::WriteConfig:
            return failed + ": its settings file could not be written.";
        case FatalStep::CopyRunner:
            return failed + ": its runner could not be copied into the installation folder.";
        case FatalStep::Other:
            break;
    }
    return failed + ".";
}

// The folder or file the step concerns; empty when it concerns none.
std::string subject(const InstallContext& context, FatalStep step) {
    switch (step) {
        case FatalStep::CreateFolder:
            return context.install_path;
        case FatalStep::WriteConfig:
            return path_join(context.install_path, "config.json");
        case FatalStep::CopyRunner:
            return context.runner_path;
        case FatalStep::Other:
            break;
    }
    return {};
}

// What the user can do, after what Windows said. The kinds are those the file and folder
// calls report: a name taken by a file, access refused (which is also how Windows reports a
// file in use, a read-only file or a folder where a file should go), a missing drive.
std::string advice(FatalStep step, ErrorKind kind) {
    const std::string again(kRunAgain);
    if (step == FatalStep::CreateFolder) {
        switch (kind) {
            case ErrorKind::AlreadyExists:
                return "A file is in the way: the folder, or a folder above it, has the name of "
                       "an existing file. Move that file away, then " +
                       again;
            case ErrorKind::PermissionDenied:
                return "You may not create a folder there. Make sure you can write to that "
                       "place, then " +
                       again;
            case ErrorKind::NotFound:
                return "The drive or network place is not available. Connect it, then " + again;
            default:
                return "Make sure the folder can be created there, then " + again;
        }
    }
    if (kind == ErrorKind::PermissionDenied) {
        return "The file may be in use or read-only, or a folder of that name may be in the "
               "way. Close Marrowlane if it is running, move anything in the way aside, then " +
               again;
    }
    return "Make sure the drive has room and the folder can be written to, then " + again;
}

}  // namespace

std::string failure_box_title(std::string_view game_name) {
    return std::string(game_name) + " Setup - Installation Failed";
}

std::string failure_box_text(const InstallContext& context, FatalStep step, const Error& error) {
    std::string text = headline(context.options.game_name, step);
    if (const std::string path = subject(context, step); !path.empty()) text += "\n\n" + path;
    if (!error.message.empty()) text += "\n\n" + error.message;
    return text + "\n\n" + advice(step, error.kind);
}

std::string folder_too_long_box_text(std::string_view game_name, std::string_view install_path) {
    return std::string(game_name) + " could not be installed: the installation folder is too " +
           "long.\n\n" + std::string(install_path) + "\n\nIt has " +
           std::to_string(utf8_to_utf16(install_path).size()) +
           " characters. With the names of the files that go into it, its paths would be "
           "longer than the " +
           std::to_string(kMaxPathLength) +
           " characters Windows allows programs and shortcuts.\n\nChoose a folder of at most " +
           std::to_string(longest_fitting_install_path(install_path)) + " characters, then " +
           std::string(kRunAgain);
}

std::string setup_busy_box_text(std::string_view game_name, std::string_view reason) {
    return std::string(game_name) + " was not installed: " + std::string(reason) +
           ".\n\nRun the setup again once it has finished.";
}

}  // namespace ml
