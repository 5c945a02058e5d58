#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/handle.hpp"
#include "platform/win32/registry.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// A key of this test's own below HKCU, removed afterwards whatever the test did.
class TestKey {
  public:
    TestKey() : path_("Software\\MarrowlaneTest-" + std::to_string(GetCurrentProcessId())) {}
    ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, widen(path_).c_str()); }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    std::string operator/(std::string_view name) const { return path_ + "\\" + std::string(name); }

  private:
    std::string path_;
};

bool key_exists(const std::string& subkey) {
    UniqueKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, widen(subkey).c_str(), 0, KEY_READ, key.put()) ==
           ERROR_SUCCESS;
}

void write_key(const std::string& subkey, std::string_view value) {
    auto key = create_registry_key(HKEY_CURRENT_USER, subkey);
    ASSERT_TRUE(key) << key.error().message;
    ASSERT_TRUE(set_registry_string(key->get(), "DisplayName", value));
    ASSERT_TRUE(set_registry_dword(key->get(), "NoModify", 1));
}

TEST(Registry, DeleteTreeTakesTheKeyWithEverythingBelowItAndNothingBeside) {
    TestKey root;
    write_key(root / "Entry", "Marrowlane");
    write_key(root / "Entry\\Sub\\Deeper", "nested");
    write_key(root / "Entry2", "a sibling whose name begins the same");
    ASSERT_EQ(read_registry_string("HKCU\\" + (root / "Entry\\Sub\\Deeper"), "DisplayName"),
              "nested");

    ASSERT_TRUE(delete_registry_tree(HKEY_CURRENT_USER, root / "Entry"));
    EXPECT_FALSE(key_exists(root / "Entry"));
    EXPECT_EQ(read_registry_string("HKCU\\" + (root / "Entry2"), "DisplayName"),
              "a sibling whose name begins the same");
    // Gone already is what the caller wanted.
    EXPECT_TRUE(delete_registry_tree(HKEY_CURRENT_USER, root / "Entry"));
    EXPECT_TRUE(delete_registry_tree(HKEY_CURRENT_USER, root / "Never\\There"));
    // An empty name would mean the root key's own content.
    EXPECT_FALSE(delete_registry_tree(HKEY_CURRENT_USER, ""));
}

}  // namespace
}  // namespace ml
