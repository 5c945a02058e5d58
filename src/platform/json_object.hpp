#pragma once

// Reading the members of a JSON object text without building a tree of it, so that a file
// can be rewritten with some members replaced and every other one kept byte for byte.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ml {

// One member of an object, as it stands in the text.
struct JsonMember {
    std::string name;  // the name with its escapes decoded (unpaired surrogates as U+FFFD)
    std::string_view name_text;   // the name as written, quotes included
    std::string_view value_text;  // the value as written, from its first to its last character

    friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

// The members of text, in order (a name given twice is listed twice), when text is one JSON
// object (RFC 8259, UTF-8, an optional byte order mark before it, white space around it);
// nullopt for anything else: not valid JSON, not valid UTF-8, or a value other than an
// object. Nesting of any depth is read without recursion. The views point into text.
std::optional<std::vector<JsonMember>> json_object_members(std::string_view text);

}  // namespace ml
