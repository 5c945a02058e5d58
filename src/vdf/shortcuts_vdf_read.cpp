// The shortcuts.vdf reader. It is lenient by design: Steam and a dozen tools have written
// these files for a decade, so it takes entry names, key order and repeated keys as they
// come, stops quietly where the data ends, and fails only on bytes it cannot frame.

#include <algorithm>
#include <utility>

#include "platform/text.hpp"
#include "vdf/cstring_scan.hpp"
#include "vdf/shortcut_keys.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {
namespace {

using vdf_detail::CStringScan;
using vdf_detail::Key;

constexpr unsigned char kTable = 0x00;
constexpr unsigned char kString = 0x01;
constexpr unsigned char kInt32 = 0x02;
constexpr unsigned char kEnd = 0x08;

// The bytes of one string in the buffer.
struct RawText {
    const char* data = nullptr;
    std::size_t length = 0;
    bool ascii = true;

    std::string_view view() const noexcept { return {data, length}; }
};

// The value of a string: its bytes as read. Older tools wrote paths in Windows-1252, and
// those shortcuts only keep working if their bytes come back unchanged. Built fresh rather
// than assigned into the field: std::string::assign would round a capacity of 16 to 29
// bytes up to 30, and names of that length are the common case.
std::string to_text(RawText raw) {
    return std::string(raw.view());
}

// A string as an error message shows it: valid UTF-8, since messages reach the console.
std::string shown(RawText raw) {
    if (raw.ascii || is_valid_utf8(raw.view())) return std::string(raw.view());
    return sanitize_utf8(raw.view());
}

// The width of a fixed-width value node, or 0 for a marker that is not one.
std::size_t fixed_width(unsigned char marker) noexcept {
    switch (marker) {
        case 0x03:  // float
        case 0x04:  // pointer
        case 0x06:  // colour
            return 4;
        case 0x07:  // uint64
        case 0x0A:  // int64
            return 8;
        default:
            return 0;
    }
}

std::string marker_text(unsigned char marker) {
    static constexpr char kHex[] = "0123456789abcdef";
    return {'0', 'x', kHex[marker >> 4], kHex[marker & 0x0F]};
}

// A byte that may follow the root table without being data: an end byte, a zero, or ASCII
// white space.
constexpr bool is_padding(unsigned char c) noexcept {
    return c == kEnd || c == 0x00 || c == ' ' || (c >= '\t' && c <= '\r');
}

std::uint32_t load_le32(const char* p) noexcept {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// Makes room for at least one more record. The list is the bulk of the memory a parse
// needs, so rather than doubling to the end it doubles only while the entries read so far
// are too few to go by, then sizes the list once from the bytes still to read and the
// average entry, with a little to spare. A geometric floor keeps odd files linear.
void make_room(std::vector<SteamShortcut>& list, std::size_t consumed, std::size_t total) {
    if (list.size() < list.capacity()) return;
    const std::size_t count = list.size();
    // Every entry takes at least 3 bytes (0x00, an empty name's NUL, 0x08).
    const std::size_t most = count + (total - consumed) / 3 + 1;
    std::size_t want;
    if (count == 0) {
        want = 64;
    } else if (consumed < total / 32) {
        want = count * 2;
    } else {
        const double rest = static_cast<double>(total - consumed) * static_cast<double>(count) /
                            static_cast<double>(consumed);
        want = count + static_cast<std::size_t>(rest * (1.0 + 1.0 / 64)) + 16;
        want = std::max(want, count + count / 8 + 16);
    }
    list.reserve(std::min(want, most));
}

class Reader {
  public:
    explicit Reader(std::string_view bytes)
        : begin_(bytes.data()), p_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    Result<std::vector<SteamShortcut>> run();

  private:
    bool read_raw(RawText& out);
    bool read_entry(SteamShortcut& entry);
    bool read_table(SteamShortcut& entry, Key key, RawText name);

    [[gnu::cold, gnu::noinline]] bool fail_with(ErrorKind kind, std::string message) {
        error_ = Error::make(kind, std::move(message));
        return false;
    }
    bool fail_unterminated() {
        return fail_with(ErrorKind::UnexpectedEof, "Unterminated CString in VDF");
    }
    bool fail_short_int() {
        return fail_with(ErrorKind::UnexpectedEof, "Unexpected EOF reading i32");
    }
    bool fail_short_fixed() {
        return fail_with(ErrorKind::UnexpectedEof, "Unexpected EOF reading fixed-width value");
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    Error error_;
    // The tags of the table being read, reused from entry to entry.
    std::vector<RawText> tags_;
};

inline bool Reader::read_raw(RawText& out) {
    CStringScan scan;
    if (p_ < end_ && vdf_detail::scan_cstring(p_, end_, scan)) [[likely]] {
        out = RawText{p_, scan.length, scan.ascii};
        p_ += scan.length + 1;
        return true;
    }
    return fail_unterminated();
}

Result<std::vector<SteamShortcut>> Reader::run() {
    std::vector<SteamShortcut> list;
    if (p_ == end_) return list;
    if (*p_ != 0) return fail(ErrorKind::InvalidData, "Invalid VDF header");
    ++p_;
    RawText root;
    if (!read_raw(root)) return std::unexpected(std::move(error_));
    // Clients before 2017 named the root "Shortcuts"; keys are matched ignoring case too.
    if (!equals_ascii_ci(root.view(), "shortcuts")) {
        return fail(ErrorKind::InvalidData, "Expected root 'shortcuts', got '" + shown(root) + "'");
    }
    const auto total = static_cast<std::size_t>(end_ - begin_);
    // Entry names ("0", "1", ... normally) are not kept: position is an entry's identity.
    while (p_ < end_ && *p_ == 0) {
        make_room(list, static_cast<std::size_t>(p_ - begin_), total);
        ++p_;
        RawText name;
        if (!read_raw(name)) return std::unexpected(std::move(error_));
        if (!read_entry(list.emplace_back())) return std::unexpected(std::move(error_));
    }
    // After the entries comes the root's end. Anything else at the root level (a stray
    // node) would be dropped from the next write, so the file counts as damaged and its
    // callers keep it. Data that just stops is lenient.
    if (p_ < end_ && *p_ != kEnd) {
        return fail(ErrorKind::InvalidData, "Unknown BKV type marker at root level: " +
                                                marker_text(static_cast<unsigned char>(*p_)));
    }
    if (p_ < end_) ++p_;
    // Past the root's end Steam writes one more end byte, and a crashed write or a sync tool
    // can leave end bytes, zeros or a line break; none of it is data. An entry or any other
    // node there would be lost by the next write, so it is damage.
    for (; p_ < end_; ++p_) {
        if (!is_padding(static_cast<unsigned char>(*p_))) {
            return fail(ErrorKind::InvalidData, "Unexpected data after the root table: " +
                                                    marker_text(static_cast<unsigned char>(*p_)));
        }
    }
    return list;
}

bool Reader::read_entry(SteamShortcut& entry) {
    std::size_t guess = 0;  // in vdf_detail::kCanonicalHeads
    while (p_ < end_) {
        const auto type = static_cast<unsigned char>(*p_);
        if (type == kEnd) {
            ++p_;
            return true;
        }
        RawText key;
        Key known;
        if (guess < vdf_detail::kCanonicalCount && end_ - p_ >= 32 &&
            vdf_detail::head_matches(p_, vdf_detail::kCanonicalHeads[guess])) {
            const vdf_detail::NodeHead& head = vdf_detail::kCanonicalHeads[guess];
            key = RawText{p_ + 1, head.length - 2, true};
            known = head.key;
            p_ += head.length;
            ++guess;
        } else {
            ++p_;
            if (!read_raw(key)) return false;
            known = vdf_detail::classify_key(key.data, key.length);
            if (known != Key::Unknown) guess = vdf_detail::canonical_next(known);
        }
        if (type == kString) {
            RawText value;
            if (!read_raw(value)) return false;
            if (std::string* field = vdf_detail::text_field(entry, known)) {
                *field = to_text(value);
            } else if (known == Key::Unknown) {
                entry.extra_nodes.push_back({to_text(key), to_text(value)});
            }
        } else if (type == kInt32) {
            if (end_ - p_ < 4) return fail_short_int();
            const std::uint32_t value = load_le32(p_);
            p_ += 4;
            if (std::uint32_t* field = vdf_detail::int_field(entry, known)) {
                *field = value;
            } else if (known == Key::Unknown) {
                entry.extra_nodes.push_back({to_text(key), value});
            }
        } else if (type == kTable) {
            if (!read_table(entry, known, key)) return false;
        } else if (const std::size_t width = fixed_width(type); width != 0) {
            if (static_cast<std::size_t>(end_ - p_) < width) return fail_short_fixed();
            // No field has such a type: kept like other unknown nodes, dropped like other
            // nodes of the wrong type when its key names a field.
            if (known == Key::Unknown) {
                entry.extra_nodes.push_back({to_text(key), VdfFixed{type, std::string(p_, width)}});
            }
            p_ += width;
        } else {
            return fail_with(ErrorKind::InvalidData,
                             "Unknown BKV type marker: " + marker_text(type));
        }
    }
    // The data ended inside the entry: it counts with what was read.
    return true;
}

// A nested table: "tags" becomes the entry's tags (a later one replaces an earlier one);
// any other table is kept whole unless its name is a field's, which is a table of the
// wrong type and dropped. Sub-keys of tags are positions and are not kept, nor are its
// numbers.
bool Reader::read_table(SteamShortcut& entry, Key known, RawText name) {
    const bool is_tags = known == Key::Tags;
    const bool keep = known == Key::Unknown;
    tags_.clear();
    std::vector<VdfLeaf> children;
    while (p_ < end_) {
        const auto type = static_cast<unsigned char>(*p_);
        if (type == kEnd) {
            ++p_;
            break;
        }
        ++p_;
        RawText sub_key;
        if (!read_raw(sub_key)) return false;
        if (type == kString) {
            RawText value;
            if (!read_raw(value)) return false;
            if (is_tags) tags_.push_back(value);
            if (keep) children.push_back({to_text(sub_key), to_text(value)});
        } else if (type == kInt32) {
            if (end_ - p_ < 4) return fail_short_int();
            if (keep) children.push_back({to_text(sub_key), load_le32(p_)});
            p_ += 4;
        } else if (const std::size_t width = fixed_width(type); width != 0) {
            if (static_cast<std::size_t>(end_ - p_) < width) return fail_short_fixed();
            if (keep)
                children.push_back({to_text(sub_key), VdfFixed{type, std::string(p_, width)}});
            p_ += width;
        } else {
            return fail_with(ErrorKind::InvalidData, "Unknown sub-key type in nested table '" +
                                                         shown(name) + "': " + marker_text(type));
        }
    }
    if (is_tags) {
        std::vector<std::string> tags;
        tags.reserve(tags_.size());
        for (const RawText& tag : tags_) tags.push_back(to_text(tag));
        entry.tags = std::move(tags);
    } else if (keep) {
        entry.extra_nodes.push_back({to_text(name), std::move(children)});
    }
    return true;
}

}  // namespace

Result<std::vector<SteamShortcut>> parse_shortcuts_vdf(std::string_view bytes) {
    return Reader(bytes).run();
}

Result<std::string> read_cstring(std::string_view buffer, std::size_t& pos) {
    vdf_detail::CStringScan scan;
    if (pos >= buffer.size() ||
        !vdf_detail::scan_cstring(buffer.data() + pos, buffer.data() + buffer.size(), scan)) {
        return fail(ErrorKind::UnexpectedEof, "Unterminated CString in VDF");
    }
    const RawText raw{buffer.data() + pos, scan.length, scan.ascii};
    pos += scan.length + 1;
    return to_text(raw);
}

}  // namespace ml
