// The shortcuts.vdf reader. It is lenient by design: Steam and a dozen tools have written
// these files for a decade, so it takes entry names, key order and repeated keys as they
// come, stops quietly where the data ends, and fails only on bytes it cannot frame. It reads
// into a view whose texts stay in the file's bytes; owned records are made from the view.

#include <algorithm>
#include <utility>

#include "platform/text.hpp"
#include "vdf/cstring_scan.hpp"
#include "vdf/shortcut_keys.hpp"
#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"

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

// Makes room for at least one more entry. The list is the bulk of the memory a parse needs
// besides the file, so rather than doubling to the end it doubles only while the entries
// read so far are too few to go by, then sizes the list once from the bytes still to read
// and the average entry, with a little to spare. A geometric floor keeps odd files linear.
void make_room(std::vector<ShortcutRef>& list, std::size_t consumed, std::size_t total) {
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

// A kept node by place: a string or fixed-width value, an int32, or a table of children.
VdfNodeRef bytes_node(unsigned char marker, VdfSpan key, VdfSpan bytes) noexcept {
    VdfNodeRef node;
    node.marker = marker;
    node.key = key;
    node.bytes = bytes;
    return node;
}
VdfNodeRef int_node(VdfSpan key, std::uint32_t value) noexcept {
    VdfNodeRef node;
    node.marker = kInt32;
    node.key = key;
    node.number = value;
    return node;
}
VdfNodeRef table_node(VdfSpan key, std::uint32_t first_child, std::uint32_t count) noexcept {
    VdfNodeRef node;
    node.marker = kTable;
    node.key = key;
    node.number = first_child;
    node.count = count;
    return node;
}

class Reader {
  public:
    explicit Reader(std::string_view bytes)
        : begin_(bytes.data()), p_(bytes.data()), end_(bytes.data() + bytes.size()) {
        view_.file = bytes;
    }

    Result<ShortcutsView> run();

  private:
    bool read_raw(RawText& out);
    bool read_entry(ShortcutRef& entry);
    bool read_table(ShortcutRef& entry, Key key, RawText name);
    bool read_fixed(std::size_t width, VdfSpan& out);

    // The place of bytes of the buffer; the buffer's size was checked to fit.
    VdfSpan span(const char* data, std::size_t length) const noexcept {
        return {static_cast<std::uint32_t>(data - begin_), static_cast<std::uint32_t>(length)};
    }
    VdfSpan span(RawText raw) const noexcept { return span(raw.data, raw.length); }
    static std::uint32_t count(std::size_t n) noexcept { return static_cast<std::uint32_t>(n); }

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

    const char* begin_;
    const char* p_;
    const char* end_;
    Error error_;
    ShortcutsView view_;
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

// The raw bytes of a fixed-width value (float, pointer, colour, 64-bit integers).
bool Reader::read_fixed(std::size_t width, VdfSpan& out) {
    if (static_cast<std::size_t>(end_ - p_) < width) {
        return fail_with(ErrorKind::UnexpectedEof, "Unexpected EOF reading fixed-width value");
    }
    out = span(p_, width);
    p_ += width;
    return true;
}

Result<ShortcutsView> Reader::run() {
    const auto total = static_cast<std::size_t>(end_ - begin_);
    // Places are 32-bit. Steam's own files stay far below; a buffer this large is no list
    // of shortcuts, so it is refused before a byte of it is touched.
    if (total > kMaxShortcutsVdfBytes) {
        return fail(ErrorKind::InvalidData, "shortcuts.vdf of 4 GiB or more");
    }
    if (p_ == end_) return std::move(view_);
    if (*p_ != 0) return fail(ErrorKind::InvalidData, "Invalid VDF header");
    ++p_;
    RawText root;
    if (!read_raw(root)) return std::unexpected(std::move(error_));
    // Clients before 2017 named the root "Shortcuts"; keys are matched ignoring case too.
    if (!equals_ascii_ci(root.view(), "shortcuts")) {
        return fail(ErrorKind::InvalidData, "Expected root 'shortcuts', got '" + shown(root) + "'");
    }
    std::vector<ShortcutRef>& list = view_.entries;
    // Entry names ("0", "1", ... normally) are not kept: position is an entry's identity.
    while (p_ < end_ && *p_ == 0) {
        make_room(list, static_cast<std::size_t>(p_ - begin_), total);
        ++p_;
        RawText name;
        if (!read_raw(name)) return std::unexpected(std::move(error_));
        ShortcutRef& entry = list.emplace_back();
        entry.first_tag = count(view_.tags.size());
        entry.first_extra = count(view_.extras.size());
        if (!read_entry(entry)) return std::unexpected(std::move(error_));
        entry.extra_count = count(view_.extras.size()) - entry.first_extra;
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
    return std::move(view_);
}

bool Reader::read_entry(ShortcutRef& entry) {
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
            if (VdfSpan* field = vdf_detail::text_field(entry, known)) {
                *field = span(value);
            } else if (known == Key::Unknown) {
                view_.extras.push_back(bytes_node(type, span(key), span(value)));
            }
        } else if (type == kInt32) {
            if (end_ - p_ < 4) return fail_short_int();
            const std::uint32_t value = load_le32(p_);
            p_ += 4;
            if (std::uint32_t* field = vdf_detail::int_field(entry, known)) {
                *field = value;
            } else if (known == Key::Unknown) {
                view_.extras.push_back(int_node(span(key), value));
            }
        } else if (type == kTable) {
            if (!read_table(entry, known, key)) return false;
        } else if (const std::size_t width = fixed_width(type); width != 0) {
            VdfSpan bytes;
            if (!read_fixed(width, bytes)) return false;
            // No field has such a type: kept like other unknown nodes, dropped like other
            // nodes of the wrong type when its key names a field.
            if (known == Key::Unknown) {
                view_.extras.push_back(bytes_node(type, span(key), bytes));
            }
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
bool Reader::read_table(ShortcutRef& entry, Key known, RawText name) {
    const bool is_tags = known == Key::Tags;
    const bool keep = known == Key::Unknown;
    // The entry's earlier tags are the last ones in the list: a second table replaces them.
    if (is_tags) view_.tags.resize(entry.first_tag);
    const std::size_t first_child = view_.children.size();
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
            if (is_tags) view_.tags.push_back(span(value));
            if (keep) {
                view_.children.push_back(bytes_node(type, span(sub_key), span(value)));
            }
        } else if (type == kInt32) {
            if (end_ - p_ < 4) return fail_short_int();
            if (keep) {
                view_.children.push_back(int_node(span(sub_key), load_le32(p_)));
            }
            p_ += 4;
        } else if (const std::size_t width = fixed_width(type); width != 0) {
            VdfSpan bytes;
            if (!read_fixed(width, bytes)) return false;
            if (keep) {
                view_.children.push_back(bytes_node(type, span(sub_key), bytes));
            }
        } else {
            return fail_with(ErrorKind::InvalidData, "Unknown sub-key type in nested table '" +
                                                         shown(name) + "': " + marker_text(type));
        }
    }
    if (is_tags) {
        entry.tag_count = count(view_.tags.size()) - entry.first_tag;
    } else if (keep) {
        view_.extras.push_back(
            table_node(span(name), count(first_child), count(view_.children.size() - first_child)));
    }
    return true;
}

}  // namespace

Result<ShortcutsView> parse_shortcuts_vdf_view(std::string_view bytes) {
    return Reader(bytes).run();
}

Result<std::vector<SteamShortcut>> parse_shortcuts_vdf(std::string_view bytes) {
    auto view = parse_shortcuts_vdf_view(bytes);
    if (!view) return std::unexpected(std::move(view.error()));
    return to_shortcuts(*view);
}

Result<std::string> read_cstring(std::string_view buffer, std::size_t& pos) {
    vdf_detail::CStringScan scan;
    if (pos >= buffer.size() ||
        !vdf_detail::scan_cstring(buffer.data() + pos, buffer.data() + buffer.size(), scan)) {
        return fail(ErrorKind::UnexpectedEof, "Unterminated CString in VDF");
    }
    const std::string_view text = buffer.substr(pos, scan.length);
    pos += scan.length + 1;
    // The bytes as read, as every text of the file (see SteamShortcut).
    return std::string(text);
}

}  // namespace ml
