// The shortcuts.vdf writer. One emitting code serves every output, for owned records and
// views alike, so no two outputs can disagree: it counts bytes, writes them into a string
// sized exactly once by that count, or streams them through a fixed buffer to a sink.

#include <cassert>
#include <charconv>
#include <cstring>
#include <memory>

#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"

namespace ml {
namespace {

constexpr char kTable = 0x00;
constexpr char kString = 0x01;
constexpr char kInt32 = 0x02;
constexpr char kEnd = 0x08;

// Counts the bytes that the other outputs write.
struct Counter {
    std::size_t size = 0;

    void byte(char) noexcept { ++size; }
    // A fixed key: its bytes and the NUL that ends the literal.
    template <std::size_t N>
    void key(const char (&)[N]) noexcept {
        size += N;
    }
    void bytes(std::string_view s) noexcept { size += s.size(); }
    void u32(std::uint32_t) noexcept { size += 4; }
    void number(std::size_t n) noexcept {
        do {
            ++size;
            n /= 10;
        } while (n != 0);
    }
};

// Writes into a buffer that Counter has sized.
struct Emitter {
    char* p;

    void byte(char c) noexcept { *p++ = c; }
    template <std::size_t N>
    void key(const char (&k)[N]) noexcept {
        std::memcpy(p, k, N);  // a fixed size: a few plain stores
        p += N;
    }
    void bytes(std::string_view s) noexcept {
        std::memcpy(p, s.data(), s.size());
        p += s.size();
    }
    void u32(std::uint32_t v) noexcept {
        const unsigned char b[4] = {
            static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::memcpy(p, b, 4);
        p += 4;
    }
    void number(std::size_t n) noexcept {
        char digits[20];  // any size_t
        const char* last = std::to_chars(digits, digits + sizeof digits, n).ptr;
        bytes({digits, static_cast<std::size_t>(last - digits)});
    }
};

// Writes through a buffer of fixed size, handing it to the sink whenever it is full. Once
// the sink refuses, everything after is dropped and finish() reports it.
class Streamer {
  public:
    // Large enough that a file takes few writes, small enough to stay in the cache.
    static constexpr std::size_t kBufferSize = kVdfWriteBufferSize;

    explicit Streamer(VdfSink& sink)
        : sink_(sink),
          buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)),
          p_(buffer_.get()),
          end_(buffer_.get() + kBufferSize) {}

    void byte(char c) {
        if (p_ == end_) flush();
        *p_++ = c;
    }
    template <std::size_t N>
    void key(const char (&k)[N]) {
        static_assert(N <= kBufferSize);
        if (room() < N) flush();
        std::memcpy(p_, k, N);  // a fixed size: a few plain stores
        p_ += N;
    }
    void bytes(std::string_view s) {
        if (room() < s.size()) {
            flush();
            // A text longer than the buffer goes to the sink as it is.
            if (s.size() > kBufferSize) {
                put(s);
                return;
            }
        }
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
    }
    void u32(std::uint32_t v) {
        if (room() < 4) flush();
        const unsigned char b[4] = {
            static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::memcpy(p_, b, 4);
        p_ += 4;
    }
    void number(std::size_t n) {
        char digits[20];  // any size_t
        const char* last = std::to_chars(digits, digits + sizeof digits, n).ptr;
        bytes({digits, static_cast<std::size_t>(last - digits)});
    }
    // True while the sink has taken everything so far; the writer stops early when not.
    bool ok() const noexcept { return ok_; }
    // Hands over what the buffer still holds. True when the sink took every byte.
    bool finish() {
        flush();
        return ok_;
    }

  private:
    std::size_t room() const noexcept { return static_cast<std::size_t>(end_ - p_); }
    void put(std::string_view s) {
        if (ok_ && !s.empty()) ok_ = sink_.write(s);
    }
    void flush() {
        put({buffer_.get(), static_cast<std::size_t>(p_ - buffer_.get())});
        p_ = buffer_.get();
    }

    VdfSink& sink_;
    std::unique_ptr<char[]> buffer_;
    char* p_;
    char* end_;
    bool ok_ = true;
};

// How the emitting code reaches the texts, tags and other nodes of each kind of list.
struct OwnedList {
    std::span<const SteamShortcut> entries;

    static std::string_view text(const std::string& s) noexcept { return s; }
    static const std::vector<std::string>& tags_of(const SteamShortcut& s) noexcept {
        return s.tags;
    }
    static const std::vector<VdfExtraNode>& extras_of(const SteamShortcut& s) noexcept {
        return s.extra_nodes;
    }
};

struct ViewList {
    const ShortcutsView& view;
    std::span<const ShortcutRef> entries;

    std::string_view text(VdfSpan span) const noexcept { return view.text(span); }
    std::span<const VdfSpan> tags_of(const ShortcutRef& e) const noexcept {
        return view.tags_of(e);
    }
    std::span<const VdfNodeRef> extras_of(const ShortcutRef& e) const noexcept {
        return view.extras_of(e);
    }
};

template <class Out>
void text_node(Out& out, const auto& key, std::string_view value) {
    out.byte(kString);
    out.key(key);
    out.bytes(value);
    out.byte('\0');
}

template <class Out>
void int_node(Out& out, const auto& key, std::uint32_t value) {
    out.byte(kInt32);
    out.key(key);
    out.u32(value);
}

// The start of a node whose key is not fixed: marker, key, NUL.
template <class Out>
void open_node(Out& out, char marker, std::string_view key) {
    out.byte(marker);
    out.bytes(key);
    out.byte('\0');
}

// A string, int32 or fixed-width value of an owned record.
template <class Out>
void leaf_node(Out& out, std::string_view key, const auto& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        open_node(out, kString, key);
        out.bytes(*text);
        out.byte('\0');
    } else if (const auto* fixed = std::get_if<VdfFixed>(&value)) {
        open_node(out, static_cast<char>(fixed->marker), key);
        out.bytes(fixed->bytes);
    } else {
        open_node(out, kInt32, key);
        out.u32(std::get<std::uint32_t>(value));
    }
}

template <class Out>
void extra_node(Out& out, const OwnedList&, const VdfExtraNode& node) {
    if (const auto* leaves = std::get_if<std::vector<VdfLeaf>>(&node.value)) {
        open_node(out, kTable, node.key);
        for (const VdfLeaf& leaf : *leaves) leaf_node(out, leaf.key, leaf.value);
        out.byte(kEnd);
    } else {
        leaf_node(out, node.key, node.value);
    }
}

// The same for a view: a string, an int32, a fixed-width value or a table of such leaves.
template <class Out>
void extra_node(Out& out, const ViewList& list, const VdfNodeRef& node) {
    open_node(out, static_cast<char>(node.marker), list.text(node.key));
    switch (node.marker) {
        case kTable:
            for (const VdfNodeRef& child : list.view.children_of(node)) {
                extra_node(out, list, child);
            }
            out.byte(kEnd);
            break;
        case kString:
            out.bytes(list.text(node.bytes));
            out.byte('\0');
            break;
        case kInt32:
            out.u32(node.number);
            break;
        default:  // fixed-width: its bytes as read
            out.bytes(list.text(node.bytes));
            break;
    }
}

// One entry in the canonical layout: the 16 scalar fields, the kept extra nodes (where
// Steam puts "sortas"), then the tags numbered from 0.
template <class Out, class List, class Entry>
void entry(Out& out, const List& list, const Entry& s, std::size_t index) {
    out.byte(kTable);
    out.number(index);
    out.byte('\0');
    int_node(out, "appid", s.appid);
    text_node(out, "AppName", list.text(s.app_name));
    text_node(out, "Exe", list.text(s.exe));
    text_node(out, "StartDir", list.text(s.start_dir));
    text_node(out, "icon", list.text(s.icon));
    text_node(out, "ShortcutPath", list.text(s.shortcut_path));
    text_node(out, "LaunchOptions", list.text(s.launch_options));
    int_node(out, "IsHidden", s.is_hidden);
    int_node(out, "AllowDesktopConfig", s.allow_desktop_config);
    int_node(out, "AllowOverlay", s.allow_overlay);
    int_node(out, "OpenVR", s.open_vr);
    int_node(out, "Devkit", s.devkit);
    text_node(out, "DevkitGameID", list.text(s.devkit_game_id));
    int_node(out, "DevkitOverrideAppID", s.devkit_override_app_id);
    int_node(out, "LastPlayTime", s.last_play_time);
    text_node(out, "FlatpakAppID", list.text(s.flatpak_app_id));
    for (const auto& node : list.extras_of(s)) extra_node(out, list, node);
    out.byte(kTable);
    out.key("tags");
    std::size_t j = 0;
    for (const auto& tag : list.tags_of(s)) {
        out.byte(kString);
        out.number(j++);
        out.byte('\0');
        out.bytes(list.text(tag));
        out.byte('\0');
    }
    out.byte(kEnd);  // tags
    out.byte(kEnd);  // entry
}

template <class Out, class List>
void file(Out& out, const List& list) {
    out.byte(kTable);
    out.key("shortcuts");
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        if constexpr (requires { out.ok(); }) {
            if (!out.ok()) return;  // the sink gave up: the rest would go nowhere
        }
        entry(out, list, list.entries[i], i);
    }
    out.byte(kEnd);  // root
    out.byte(kEnd);  // end of file
}

template <class List>
bool stream(const List& list, VdfSink& sink) {
    Streamer out(sink);
    file(out, list);
    return out.finish();
}

}  // namespace

bool write_shortcuts_vdf(std::span<const SteamShortcut> shortcuts, VdfSink& sink) {
    return stream(OwnedList{shortcuts}, sink);
}

bool write_shortcuts_vdf(const ShortcutsView& view, VdfSink& sink) {
    return stream(ViewList{view, view.entries}, sink);
}

// Written in place rather than through a sink: a string sized once and filled directly
// spares a copy of every byte, and the product writes its files from a string.
std::string serialize_shortcuts_vdf(std::span<const SteamShortcut> shortcuts) {
    const OwnedList list{shortcuts};
    Counter counter;
    file(counter, list);
    std::string out;
    out.resize_and_overwrite(counter.size, [&](char* buffer, std::size_t size) {
        Emitter emitter{buffer};
        file(emitter, list);
        assert(static_cast<std::size_t>(emitter.p - buffer) == size);
        return size;
    });
    return out;
}

void write_str(std::string& out, std::string_view key, std::string_view value) {
    out.push_back('\x01');
    out.append(key);
    out.push_back('\0');
    out.append(value);
    out.push_back('\0');
}

}  // namespace ml
