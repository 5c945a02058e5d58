#include "platform/transfer_watch.hpp"

#include <algorithm>
#include <charconv>

#include "platform/text.hpp"

namespace ml {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::uint64_t> announced_body_length(std::string_view headers) {
    std::optional<std::uint64_t> length;
    bool ambiguous = false;
    while (!headers.empty()) {
        const auto end = headers.find('\n');
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;  // the status line, a blank line
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (equals_ascii_ci(name, "Content-Encoding")) {
            if (!equals_ascii_ci(value, "identity")) return std::nullopt;
        } else if (equals_ascii_ci(name, "Content-Length")) {
            std::uint64_t number = 0;
            const char* stop = value.data() + value.size();
            const auto [at, ec] = std::from_chars(value.data(), stop, number);
            if (value.empty() || ec != std::errc() || at != stop) return std::nullopt;
            if (length && *length != number) ambiguous = true;
            length = number;
        }
    }
    if (ambiguous) return std::nullopt;
    return length;
}

TransferLimits transfer_limits_with(std::optional<std::string_view> stall_ms,
                                    std::optional<std::string_view> total_ms) {
    TransferLimits limits;
    if (auto stall = test_milliseconds(stall_ms)) limits.stall = *stall;
    if (auto total = test_milliseconds(total_ms)) limits.total = *total;
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
