#include <gtest/gtest.h>

#include "platform/error.hpp"

namespace ml {
namespace {

TEST(ErrorForms, DisplayAndDebug) {
    const Error custom = Error::make(ErrorKind::InvalidData, "Invalid VDF header");
    EXPECT_EQ(custom.display(), "Invalid VDF header");
    EXPECT_EQ(custom.debug(), R"(Custom { kind: InvalidData, error: "Invalid VDF header" })");

    const Error os = Error::os(5, "Access is denied.");
    EXPECT_EQ(os.kind, ErrorKind::PermissionDenied);
    EXPECT_EQ(os.display(), "Access is denied. (os error 5)");
    EXPECT_EQ(os.debug(),
              R"(Os { code: 5, kind: PermissionDenied, message: "Access is denied." })");

    EXPECT_EQ(Error::os(2, "x").kind, ErrorKind::NotFound);
    EXPECT_EQ(Error::os(3, "x").kind, ErrorKind::NotFound);
    EXPECT_EQ(Error::os(183, "x").kind, ErrorKind::AlreadyExists);
    EXPECT_EQ(Error::os(1234, "x").kind, ErrorKind::Other);
}

}  // namespace
}  // namespace ml
