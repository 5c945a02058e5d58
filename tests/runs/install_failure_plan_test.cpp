#include <gtest/gtest.h>

#include "runs/install_failure_plan.hpp"
#include "runs/install_plan.hpp"

namespace ml {
namespace {

InstallContext context_for(std::string game_name) {
    InstallOptions options;
    options.game_name = std::move(game_name);
    return make_install_context(options, {}, R"(C:\Users\a\AppData\Local)");
}

TEST(InstallFailurePlan, BoxNamesWhatFailedWhyAndWhatToDo) {
    struct Case {
        FatalStep step;
        Error error;
        std::string text;
    };
    const std::string folder = R"(C:\Users\a\AppData\Local\Marrowlane)";
    const std::vector<Case> cases = {
        // LOCALAPPDATA, or a folder above the installation folder, is a file.
        {FatalStep::CreateFolder,
         Error::os(183, "Cannot create a file when that file already exists."),
         "Foo could not be installed: the installation folder could not be created.\n\n" + folder +
             "\n\nCannot create a file when that file already exists.\n\nA file is in the way: the "
             "folder, or a folder above it, has the name of an existing file. Move that file "
             "away, then run the setup again."},
        {FatalStep::CreateFolder, Error::os(5, "Access is denied."),
         "Foo could not be installed: the installation folder could not be created.\n\n" + folder +
             "\n\nAccess is denied.\n\nYou may not create a folder there. Make sure you can write "
             "to that place, then run the setup again."},
        {FatalStep::CreateFolder, Error::os(3, "The system cannot find the path specified."),
         "Foo could not be installed: the installation folder could not be created.\n\n" + folder +
             "\n\nThe system cannot find the path specified.\n\nThe drive or network place is not "
             "available. Connect it, then run the setup again."},
        // A folder named config.json is in the way, or the file is held or read-only.
        {FatalStep::WriteConfig, Error::os(5, "Access is denied."),
         "Foo could not be installed: its settings file could not be written.\n\n" + folder +
             "\\config.json\n\nAccess is denied.\n\nThe file may be in use or read-only, or a "
             "folder of that name may be in the way. Close Marrowlane if it is running, move "
             "anything in the way aside, then run the setup again."},
        {FatalStep::WriteConfig, Error::os(112, "There is not enough space on the disk."),
         "Foo could not be installed: its settings file could not be written.\n\n" + folder +
             "\\config.json\n\nThere is not enough space on the disk.\n\nMake sure the drive has "
             "room and the folder can be written to, then run the setup again."},
        // A running Marrowlane holds the runner that a local build would replace.
        {FatalStep::CopyRunner, Error::os(32, "Sharing violation."),
         "Foo could not be installed: its runner could not be copied into the installation "
         "folder.\n\n" +
             folder +
             "\\marrowlane.exe\n\nSharing violation.\n\nThe file may be in use or read-only, or a "
             "folder of that name may be in the way. Close Marrowlane if it is running, move "
             "anything in the way aside, then run the setup again."},
        {FatalStep::Other, Error::make(ErrorKind::Other, "stage failed"),
         "Foo could not be installed.\n\nstage failed\n\nMake sure the drive has room and the "
         "folder can be written to, then run the setup again."},
    };
    const InstallContext context = context_for("Foo");
    for (const Case& c : cases) {
        EXPECT_EQ(failure_box_text(context, c.step, c.error), c.text) << c.error.message;
    }
    EXPECT_EQ(failure_box_title("Foo"), "Foo Setup - Installation Failed");
}

TEST(InstallFailurePlan, TooLongFolderBoxGivesItsLengthAndTheMostItMayHave) {
    // 230 characters, as an --install-dir may be; the most is the length the path check
    // allows, with or without a trailing separator.
    const std::string folder = R"(C:\)" + std::string(227, 'x');
    EXPECT_EQ(folder_too_long_box_text("Foo", folder),
              "Foo could not be installed: the installation folder is too long.\n\n" + folder +
                  "\n\nIt has 230 characters. With the names of the files that go into it, its "
                  "paths would be longer than the 259 characters Windows allows programs and "
                  "shortcuts.\n\nChoose a folder of at most 203 characters, then run the setup "
                  "again.");
    for (const std::string& fitting :
         {R"(C:\)" + std::string(200, 'x'), R"(C:\)" + std::string(200, 'x') + "\\"}) {
        EXPECT_TRUE(check_install_path_length(fitting)) << fitting.size();
        EXPECT_EQ(fitting.size(), longest_fitting_install_path(fitting));
        EXPECT_FALSE(check_install_path_length(fitting + "y"));
    }
}

TEST(InstallFailurePlan, BusyBoxGivesTheReason) {
    EXPECT_EQ(setup_busy_box_text("Foo",
                                  "another Marrowlane setup (process 7, an "
                                  "uninstallation) has been running for over 3 minutes"),
              "Foo was not installed: another Marrowlane setup (process 7, an uninstallation) has "
              "been running for over 3 minutes.\n\nRun the setup again once it has finished.");
}

}  // namespace
}  // namespace ml
