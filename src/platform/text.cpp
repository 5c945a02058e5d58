#include "platform/text.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace ml {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the well-formed sequence starting at s[i], or 0 when it is ill-formed; in that
// case *bad is the length of the maximal ill-formed subpart to replace with one U+FFFD.
std::size_t utf8_sequence(const unsigned char* s, std::size_t n, std::size_t i,
                          std::size_t* bad) noexcept {
    const unsigned char b0 = s[i];
    if (b0 < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        *bad = 1;
        return 0;
    }
    std::size_t k = 1;
    for (; k < len; ++k) {
        if (i + k >= n) break;
        const unsigned char b = s[i + k];
        const unsigned char l = k == 1 ? lo : 0x80;
        const unsigned char h = k == 1 ? hi : 0xBF;
        if (b < l || b > h) break;
    }
    if (k == len) return len;
    *bad = k;
    return 0;
}

std::size_t ascii_prefix(const unsigned char* s, std::size_t n) noexcept {
    std::size_t i = 0;
    while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        if (w & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        i += ascii_prefix(s + i, n - i);
        if (i >= n) break;
        std::size_t bad = 0;
        const std::size_t len = utf8_sequence(s, n, i, &bad);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string sanitize_utf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = ascii_prefix(s, n);
    // Fast path: most text is valid, and that costs one pass and one copy.
    {
        std::size_t j = i;
        bool valid = true;
        while (j < n) {
            std::size_t bad = 0;
            const std::size_t len = utf8_sequence(s, n, j, &bad);
            if (len == 0) {
                valid = false;
                break;
            }
            j += len;
            j += ascii_prefix(s + j, n - j);
        }
        if (valid) return std::string(bytes);
    }
    std::string out;
    out.reserve(n + 8);
    out.append(bytes.data(), i);
    while (i < n) {
        std::size_t bad = 0;
        const std::size_t len = utf8_sequence(s, n, i, &bad);
        if (len == 0) {
            out.append(kReplacement, 3);
            i += bad;
        } else {
            out.append(bytes.data() + i, len);
            i += len;
        }
    }
    return out;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
    const std::string clean = sanitize_utf8(utf8);
    const auto* s = reinterpret_cast<const unsigned char*>(clean.data());
    const std::size_t n = clean.size();
    std::u16string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        const unsigned char b0 = s[i];
        char32_t c;
        if (b0 < 0x80) {
            c = b0;
            i += 1;
        } else if (b0 < 0xE0) {
            c = static_cast<char32_t>(((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else if (b0 < 0xF0) {
            c = static_cast<char32_t>(((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                      (s[i + 2] & 0x3F));
            i += 3;
        } else {
            c = static_cast<char32_t>(((b0 & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) |
                                      ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F));
            i += 4;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            const char32_t c =
                0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            append_utf8(out, c);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out.append(kReplacement, 3);
        } else {
            append_utf8(out, u);
        }
    }
    return out;
}

std::string in_double_quotes(std::string_view text) {
    // Built by appending rather than as "\"" + text + "\"": GCC 12 at -O3 reports a false
    // -Wrestrict overlap inside that std::string concatenation (a GCC 12 regression).
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    out.append(text);
    out.push_back('"');
    return out;
}

std::string debug_quote(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    const std::string clean = sanitize_utf8(text);
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const auto c = static_cast<unsigned char>(clean[i]);
        switch (c) {
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '\0':
                out += "\\0";
                continue;
            default:
                break;
        }
        unsigned code = c;
        bool control = c < 0x20 || c == 0x7F;
        // C1 controls (U+0080..U+009F) arrive as C2 80..C2 9F.
        if (c == 0xC2 && i + 1 < clean.size()) {
            const auto next = static_cast<unsigned char>(clean[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                control = true;
                code = next;
                ++i;
            }
        }
        if (control) {
            out += "\\u{";
            if (code >= 0x10) out.push_back(kHex[code >> 4]);
            out.push_back(kHex[code & 0xF]);
            out.push_back('}');
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
    return out;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool equals_ascii_ci(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string json_string_content(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

namespace {

std::string count_of(std::uint64_t n, std::string_view unit, std::string_view plural) {
    return std::to_string(n) + " " + std::string(n == 1 ? unit : plural);
}

}  // namespace

std::string byte_size_text(std::uint64_t bytes) {
    constexpr std::uint64_t kib = 1024;
    const struct {
        std::uint64_t size;
        std::string_view name;
    } units[] = {
        {kib * kib * kib * kib, "TiB"}, {kib * kib * kib, "GiB"}, {kib * kib, "MiB"}, {kib, "KiB"}};
    for (const auto& unit : units) {
        if (bytes >= unit.size && bytes % unit.size == 0) {
            return std::to_string(bytes / unit.size) + " " + std::string(unit.name);
        }
    }
    return count_of(bytes, "byte", "bytes");
}

std::optional<std::chrono::milliseconds> test_milliseconds(std::optional<std::string_view> text) {
    if (!text || text->empty()) return std::nullopt;
    std::uint32_t value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || stop != end || value == 0) return std::nullopt;
    return std::chrono::milliseconds(value);
}

std::string duration_text(std::chrono::milliseconds span) {
    const auto ms = static_cast<std::uint64_t>(span.count() < 0 ? 0 : span.count());
    if (ms >= 60'000 && ms % 60'000 == 0) return count_of(ms / 60'000, "minute", "minutes");
    if (ms >= 1'000 && ms % 1'000 == 0) return count_of(ms / 1'000, "second", "seconds");
    return std::to_string(ms) + " ms";
}

}  // namespace ml
