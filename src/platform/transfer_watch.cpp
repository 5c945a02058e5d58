#include "platform/transfer_watch.hpp"

#include <algorithm>
#include <charconv>

namespace ml {
namespace {

std::optional<std::chrono::milliseconds> parse_ms(std::optional<std::string_view> text) {
    if (!text || text->empty()) return std::nullopt;
    std::uint32_t value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || stop != end || value == 0) return std::nullopt;
    return std::chrono::milliseconds(value);
}

}  // namespace

TransferLimits transfer_limits_with(std::optional<std::string_view> stall_ms,
                                    std::optional<std::string_view> total_ms) {
    TransferLimits limits;
    if (auto stall = parse_ms(stall_ms)) limits.stall = *stall;
    if (auto total = parse_ms(total_ms)) limits.total = *total;
    return limits;
}

std::string_view transfer_end_text(TransferEnd end) {
    switch (end) {
        case TransferEnd::Stalled:
            return "no data arrived within the stall limit";
        case TransferEnd::TooLong:
            return "the transfer ran past its time limit";
        case TransferEnd::TooManyRedirects:
            return "too many redirects";
    }
    return "stopped";
}

TransferWatch::TransferWatch(TransferLimits limits, TransferClock::time_point start)
    : limits_(limits), start_(start), last_growth_(start) {}

void TransferWatch::bytes_seen(std::uint64_t bytes, TransferClock::time_point now) {
    if (bytes <= most_bytes_) return;
    most_bytes_ = bytes;
    last_growth_ = now;
}

void TransferWatch::request_sent() {
    ++requests_;
}

void TransferWatch::redirect_seen() {
    ++redirects_;
}

std::optional<TransferEnd> TransferWatch::due(TransferClock::time_point now) const {
    // Every request after the first follows a redirect; a service that also names its
    // redirects reports the same hops twice, so the larger count is the number of hops.
    const int hops = std::max(redirects_, requests_ - 1);
    if (hops > limits_.max_redirects) return TransferEnd::TooManyRedirects;
    if (now - start_ >= limits_.total) return TransferEnd::TooLong;
    if (now - last_growth_ >= limits_.stall) return TransferEnd::Stalled;
    return std::nullopt;
}

}  // namespace ml
