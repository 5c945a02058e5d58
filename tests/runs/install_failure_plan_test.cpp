#include <gtest/gtest.h>

#include "runs/install_failure_plan.hpp"
#include "runs/install_plan.hpp"

namespace ml {
namespace {

// The end-to-end tests read the boxes a user meets (a file where the folder goes, a folder
// named config.json, a held runner); these are the failures they cannot bring about.
TEST(InstallFailurePlan, BoxNamesWhatFailedWhyAndWhatToDo) {
    struct Case {
        FatalStep step;
        Error error;
        std::string text;
    };
    const std::string folder = R"(C:\L\Marrowlane)";
    const std::string again = "then run the setup again.";
    const std::vector<Case> cases = {
        {FatalStep::CreateFolder, Error::os(5, "Access is denied."),
         "Foo could not be installed: the installation folder could not be created.\n\n" + folder +
             "\n\nAccess is denied.\n\nYou may not create a folder there. Make sure you can write "
             "to that place, " +
             again},
        {FatalStep::CreateFolder, Error::os(53, "The network path was not found."),
         "Foo could not be installed: the installation folder could not be created.\n\n" + folder +
             "\n\nThe network path was not found.\n\nThe drive or network place is not "
             "available. Connect it, " +
             again},
        {FatalStep::WriteConfig, Error::os(112, "There is not enough space on the disk."),
         "Foo could not be installed: its settings file could not be written.\n\n" + folder +
             "\\config.json\n\nThere is not enough space on the disk.\n\nMake sure the drive has "
             "room and the folder can be written to, " +
             again},
        {FatalStep::Other, Error::make(ErrorKind::Other, "stage failed"),
         "Foo could not be installed.\n\nstage failed\n\nMake sure the drive has room and the "
         "folder can be written to, " +
             again},
    };
    InstallOptions options;
    options.game_name = "Foo";
    const InstallContext context = make_install_context(options, {}, R"(C:\L)");
    for (const Case& c : cases)
        EXPECT_EQ(failure_box_text(context, c.step, c.error), c.text) << c.error.message;
}

TEST(InstallFailurePlan, TheMostTheTooLongBoxOffersFits) {
    // With or without a trailing separator, a folder of the length the box offers is taken and
    // one character more is refused.
    for (const std::string& folder :
         {R"(C:\)" + std::string(200, 'x'), R"(C:\)" + std::string(200, 'x') + "\\"}) {
        ASSERT_EQ(longest_fitting_install_path(folder), folder.size());
        EXPECT_TRUE(check_install_path_length(folder));
        EXPECT_FALSE(check_install_path_length(folder + "y"));
    }
}

}  // namespace
}  // namespace ml
