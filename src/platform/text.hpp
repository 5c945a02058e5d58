#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ml {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
bool is_valid_utf8(std::string_view bytes) noexcept;

// The bytes as UTF-8 text: unchanged when valid; otherwise each maximal ill-formed
// subsequence is replaced by U+FFFD (EF BF BD), the Unicode recommended practice.
std::string sanitize_utf8(std::string_view bytes);

// text as the content of a JSON string: '"', '\' and U+0000..U+001F escaped, every other
// character (including '/' and non-ASCII) unchanged.
std::string json_string_content(std::string_view text);

// UTF-8 to UTF-16; invalid input is sanitized first, so the result is always well-formed.
std::u16string utf8_to_utf16(std::string_view utf8);

// UTF-16 to UTF-8; each unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view utf16);

// The debug form of a text or path: enclosed in double quotes, with backslash, double quote
// and control characters escaped (\\, \", \n, \r, \t, \0, other controls as \u{hex}).
// C:\Steam becomes "C:\\Steam".
std::string debug_quote(std::string_view text);

// The text between two double quotes, nothing inside escaped: how Steam's "Exe" and
// "StartDir" and the registry's command texts hold a path.
std::string in_double_quotes(std::string_view text);

// ASCII letters lowered; every other byte unchanged.
std::string ascii_lower(std::string_view text);

// Equal ignoring ASCII letter case.
bool equals_ascii_ci(std::string_view a, std::string_view b) noexcept;

// A byte count for people: "256 MiB", "40 GiB", "4 KiB" when it is a whole number of that
// unit, else "1 byte" or "5002 bytes".
std::string byte_size_text(std::uint64_t bytes);

// A time span for people: "3 minutes", "1 second" when it is a whole number of that unit,
// else "1500 ms".
std::string duration_text(std::chrono::milliseconds span);

// A testing aid's time span: decimal digits of milliseconds, not zero, that fit 32 bits;
// nullopt for an absent, empty or unreadable text (the shipped value then holds).
std::optional<std::chrono::milliseconds> test_milliseconds(std::optional<std::string_view> text);

}  // namespace ml
