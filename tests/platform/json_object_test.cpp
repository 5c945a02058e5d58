#include "platform/json_object.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ml {
namespace {

// name=value pairs as the reader gives them: decoded name, value as written.
std::vector<std::string> members_of(std::string_view text) {
    std::vector<std::string> found;
    const auto members = json_object_members(text);
    for (const JsonMember& m : members.value())
        found.push_back(m.name + "=" + std::string(m.value_text));
    return found;
}

TEST(JsonObject, MembersAreReadInOrderWithTheirValuesAsWritten) {
    using List = std::vector<std::string>;
    struct Case {
        std::string text;
        List members;
    };
    const std::vector<Case> cases = {
        {"{}", {}},
        {" \r\n\t{ } \n", {}},
        {R"({"a":1,"b" : [1, {"c": null}], "a": -0.5e+3})",
         {"a=1", R"(b=[1, {"c": null}])", "a=-0.5e+3"}},
        {"{\n  \"nested\": {\n    \"x\": [[], {}, \"}]\\\"\"]\n  }\n}",
         {"nested={\n    \"x\": [[], {}, \"}]\\\"\"]\n  }"}},
        // Escapes in names are decoded; surrogate pairs join, lone ones become U+FFFD.
        {R"({"auto\u005fcheck\/x": true, "\ud83d\ude00": 0, "\ud800x": 1, "\t": false})",
         {"auto_check/x=true", "\xF0\x9F\x98\x80=0", "\xEF\xBF\xBDx=1", "\t=false"}},
        // A byte order mark (Notepad's UTF-8) and non-ASCII text.
        {"\xEF\xBB\xBF{\"caf\xC3\xA9\": \"\xE2\x9C\x93\"}", {"caf\xC3\xA9=\"\xE2\x9C\x93\""}},
    };
    for (const Case& c : cases) EXPECT_EQ(members_of(c.text), c.members) << c.text;
    // The views point into the text given.
    const std::string text = R"({"k": "v"})";
    const auto members = json_object_members(text).value();
    EXPECT_EQ(members[0].name_text, "\"k\"");
    EXPECT_EQ(members[0].name_text.data(), text.data() + 1);
}

TEST(JsonObject, AnythingButOneObjectIsRefused) {
    using namespace std::string_view_literals;
    const std::vector<std::vector<std::string_view>> refused = {
        // Valid JSON, but no object.
        {"", "   ", "[]", "\"x\"", "true", "null", "1"},
        // Broken structure.
        {"{", "}", "{}}", "{} {}", "{},", "{,}", "{\"a\"}", "{\"a\":}", "{\"a\":1,}", "{a:1}",
         "{'a':1}", "{\"a\":[1,]}", "{\"a\":[1 2]}", "{\"a\":{\"b\"}}", "{\"a\":1} // note",
         "{\"a\":1}\0"sv, "{\"a\":[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]"},
        // Words and numbers JSON does not have.
        {"{\"a\":tru}", "{\"a\":True}", "{\"a\":NaN}", "{\"a\":01}", "{\"a\":1.}", "{\"a\":.5}",
         "{\"a\":+1}", "{\"a\":1e}", "{\"a\":-}"},
        // Broken strings, text that is not UTF-8, byte order marks alone or doubled.
        {"{\"a\":\"\\x\"}", "{\"a\":\"\\u12G4\"}", "{\"a\":\"\\u12\"}", "{\"a\":\"tab\there\"}",
         "{\"a\":\"open}", "{\"a\":\"\xFF\"}", "\xEF\xBB\xBF", "\xEF\xBB\xBF\xEF\xBB\xBF{}"},
    };
    for (const auto& group : refused) {
        for (std::string_view text : group)
            EXPECT_EQ(json_object_members(text), std::nullopt) << text;
    }
}

TEST(JsonObject, DeepNestingIsReadWithoutRecursion) {
    // A million levels would overflow any stack a recursive reader used.
    constexpr std::size_t kDepth = 1'000'000;
    const std::string deep = std::string(kDepth, '[') + std::string(kDepth, ']');
    EXPECT_EQ(members_of("{\"deep\": " + deep + "}").size(), 1u);
    EXPECT_EQ(json_object_members("{\"deep\": " + deep + "]}"), std::nullopt);
    EXPECT_EQ(json_object_members("{\"deep\": " + std::string(kDepth, '[') + "}"), std::nullopt);
    std::string objects;
    for (std::size_t k = 0; k < kDepth / 8; ++k) objects += "{\"a\":";
    objects += "0" + std::string(kDepth / 8, '}');
    EXPECT_EQ(members_of("{\"deep\": " + objects + "}").size(), 1u);
}

}  // namespace
}  // namespace ml
