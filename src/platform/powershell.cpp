#include "platform/powershell.hpp"

namespace ml {
namespace {

// The length of the quote character at text[i] (1 for ', 3 for the UTF-8 of U+2018 to
// U+201B), or 0 when there is none.
std::size_t quote_length(std::string_view text, std::size_t i) {
    if (text[i] == '\'') return 1;
    if (i + 2 < text.size() && text[i] == '\xE2' && text[i + 1] == '\x80' &&
        text[i + 2] >= '\x98' && text[i + 2] <= '\x9B') {
        return 3;
    }
    return 0;
}

}  // namespace

std::string powershell_quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t quote = quote_length(text, i);
        if (quote != 0) {
            out.append(text.substr(i, quote));
            out.append(text.substr(i, quote));
            i += quote;
        } else {
            out.push_back(text[i++]);
        }
    }
    out.push_back('\'');
    return out;
}

}  // namespace ml
