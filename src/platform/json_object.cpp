#include "platform/json_object.hpp"

#include "platform/text.hpp"

namespace ml {
namespace {

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A cursor over the text. Every read either moves past a complete piece and returns true,
// or returns false; a false ends the whole reading, so the position after it does not matter.
class Reader {
  public:
    explicit Reader(std::string_view text) : s_(text) {}

    std::size_t position() const { return i_; }
    bool at_end() const { return i_ == s_.size(); }

    void skip_space() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            ++i_;
    }

    // Moves past c, after any white space.
    bool take(char c) {
        skip_space();
        if (i_ == s_.size() || s_[i_] != c) return false;
        ++i_;
        return true;
    }

    // A string at the position; its decoded content goes to decoded when given.
    bool string(std::string* decoded) {
        if (i_ == s_.size() || s_[i_] != '"') return false;
        ++i_;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                if (decoded) *decoded += static_cast<char>(c);
                continue;
            }
            if (i_ == s_.size()) return false;
            const char e = s_[i_++];
            static constexpr std::string_view kEscapes = "\"\\/bfnrt";
            static constexpr std::string_view kMeanings = "\"\\/\b\f\n\r\t";
            if (const auto k = kEscapes.find(e); k != std::string_view::npos) {
                if (decoded) *decoded += kMeanings[k];
                continue;
            }
            if (e != 'u') return false;
            auto unit = hex4();
            if (!unit) return false;
            char32_t code = *unit;
            if (code >= 0xD800 && code <= 0xDBFF && s_.substr(i_, 2) == "\\u") {
                // A high surrogate pairs only with a low one right after it.
                const std::size_t back = i_;
                i_ += 2;
                const auto low = hex4();
                if (!low) return false;
                if (*low >= 0xDC00 && *low <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                } else {
                    i_ = back;
                }
            }
            if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
            if (decoded) append_utf8(*decoded, code);
        }
        return false;
    }

    // One value of any kind, containers read to their end with a stack of their own.
    bool value() {
        std::string open;  // the containers entered and not yet closed: '{' or '['
        for (;;) {
            skip_space();
            if (i_ == s_.size()) return false;
            const char c = s_[i_];
            if (c == '{' || c == '[') {
                ++i_;
                skip_space();
                if (i_ < s_.size() && s_[i_] == (c == '{' ? '}' : ']')) {
                    ++i_;
                } else {
                    open += c;
                    if (c == '{' && !member_name()) return false;
                    continue;
                }
            } else if (!scalar()) {
                return false;
            }
            // A value is complete: close what ends here, then go on after a comma.
            for (;;) {
                if (open.empty()) return true;
                skip_space();
                if (i_ == s_.size()) return false;
                if (s_[i_] == (open.back() == '{' ? '}' : ']')) {
                    ++i_;
                    open.pop_back();
                    continue;
                }
                if (s_[i_] != ',') return false;
                ++i_;
                if (open.back() == '{' && !member_name()) return false;
                break;
            }
        }
    }

  private:
    std::optional<char32_t> hex4() {
        if (s_.size() - i_ < 4) return std::nullopt;
        char32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            v <<= 4;
            if (h >= '0' && h <= '9') {
                v |= static_cast<char32_t>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
                v |= static_cast<char32_t>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
                v |= static_cast<char32_t>(h - 'A' + 10);
            } else {
                return std::nullopt;
            }
        }
        return v;
    }

    // A member's name and its colon, inside an object.
    bool member_name() {
        skip_space();
        return string(nullptr) && take(':');
    }

    bool digits() {
        const std::size_t start = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
        return i_ > start;
    }

    bool number() {
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        if (i_ < s_.size() && s_[i_] == '0') {
            ++i_;
        } else if (!digits()) {
            return false;
        }
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            if (!digits()) return false;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
            if (!digits()) return false;
        }
        return true;
    }

    bool scalar() {
        for (std::string_view word : {"true", "false", "null"}) {
            if (s_.substr(i_, word.size()) == word) {
                i_ += word.size();
                return true;
            }
        }
        return s_[i_] == '"' ? string(nullptr) : number();
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace

std::optional<std::vector<JsonMember>> json_object_members(std::string_view text) {
    // Notepad saved UTF-8 with a byte order mark for years; RFC 8259 lets a reader ignore it.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (!is_valid_utf8(text)) return std::nullopt;
    Reader r(text);
    if (!r.take('{')) return std::nullopt;
    std::vector<JsonMember> members;
    if (!r.take('}')) {
        do {
            r.skip_space();
            JsonMember m;
            const std::size_t name_start = r.position();
            if (!r.string(&m.name)) return std::nullopt;
            m.name_text = text.substr(name_start, r.position() - name_start);
            if (!r.take(':')) return std::nullopt;
            r.skip_space();
            const std::size_t value_start = r.position();
            if (!r.value()) return std::nullopt;
            m.value_text = text.substr(value_start, r.position() - value_start);
            members.push_back(std::move(m));
        } while (r.take(','));
        if (!r.take('}')) return std::nullopt;
    }
    r.skip_space();
    if (!r.at_end()) return std::nullopt;
    return members;
}

}  // namespace ml
