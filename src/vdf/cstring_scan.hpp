#pragma once

// Finding the NUL that ends a string of shortcuts.vdf, and whether the bytes before it are
// plain ASCII, in one pass. Nearly every string in real files is ASCII, so the reader checks
// UTF-8 only when this pass saw a byte >= 0x80.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ml::vdf_detail {

// Where a string ends: its length up to (not counting) the NUL, and whether all its bytes
// are ASCII.
struct CStringScan {
    std::size_t length;
    bool ascii;
};

// Scans the string starting at p for its NUL, never reading at or past end. Returns false
// when no NUL lies in [p, end).
inline bool scan_cstring(const char* p, const char* end, CStringScan& out) noexcept {
    const char* s = p;
    unsigned high = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time while a whole block lies inside the buffer.
    const __m128i zero = _mm_setzero_si128();
    while (end - s >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        const auto top = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (nul != 0) {
            const int at = std::countr_zero(nul);
            high |= top & ((1u << at) - 1u);
            out.length = static_cast<std::size_t>(s - p) + static_cast<std::size_t>(at);
            out.ascii = high == 0;
            return true;
        }
        high |= top;
        s += 16;
    }
#else
    // Eight bytes at a time: the classic "has a zero byte" test on 64-bit words.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    std::uint64_t high_bits = 0;
    while (end - s >= 8) {
        std::uint64_t w;
        std::memcpy(&w, s, 8);
        if (((w - kOnes) & ~w & kHighs) != 0) break;
        high_bits |= w;
        s += 8;
    }
    high = (high_bits & kHighs) != 0 ? 1u : 0u;
#endif
    for (; s < end; ++s) {
        const auto c = static_cast<unsigned char>(*s);
        if (c == 0) {
            out.length = static_cast<std::size_t>(s - p);
            out.ascii = high == 0;
            return true;
        }
        high |= c & 0x80u;
    }
    return false;
}

}  // namespace ml::vdf_detail
