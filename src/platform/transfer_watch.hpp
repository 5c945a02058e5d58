#pragma once

// When a download has to give up. A server that accepts the connection and then sends
// nothing (a captive portal, a stuck proxy) would otherwise hold every download method for
// ever; this is the one place that decides "stalled", "too long" and "too many redirects",
// for the URL service and for the download tools alike.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ml {

using TransferClock = std::chrono::steady_clock;

// The shipped limits of every download method.
inline constexpr std::chrono::milliseconds kDownloadStallLimit{30'000};   // no new byte
inline constexpr std::chrono::milliseconds kDownloadTotalLimit{600'000};  // whole transfer
inline constexpr int kDownloadMaxRedirects = 10;

// Limits of one transfer.
struct TransferLimits {
    std::chrono::milliseconds stall = kDownloadStallLimit;
    std::chrono::milliseconds total = kDownloadTotalLimit;
    int max_redirects = kDownloadMaxRedirects;
};

// The limits with a test's overrides (milliseconds as decimal digits) applied; an absent,
// empty, zero or unreadable override keeps the shipped value.
TransferLimits transfer_limits_with(std::optional<std::string_view> stall_ms,
                                    std::optional<std::string_view> total_ms);

// The body length an HTTP answer announces in its header block (the status line, then
// "Name: value" lines): its Content-Length. nullopt when there is none, when it is not a
// plain decimal number, when two of them disagree, or when a Content-Encoding other than
// "identity" makes it the length of the encoded body rather than of the bytes saved.
std::optional<std::uint64_t> announced_body_length(std::string_view headers);

// Why a transfer was ended.
enum class TransferEnd { Stalled, TooLong, TooManyRedirects };

// A short English reason, for error messages.
std::string_view transfer_end_text(TransferEnd end);

// The state of one transfer against its limits. Not thread-safe: callers that report from
// one thread and check from another hold their own lock.
class TransferWatch {
  public:
    TransferWatch(TransferLimits limits, TransferClock::time_point start);

    // The byte count reached so far; more than ever seen before restarts the stall clock.
    void bytes_seen(std::uint64_t bytes, TransferClock::time_point now);
    // One more request sent (the first, or one that follows a redirect).
    void request_sent();
    // A redirect reported by name. Where both are reported, hops are not counted twice.
    void redirect_seen();

    // Why the transfer must end at `now`; nullopt while it may go on.
    std::optional<TransferEnd> due(TransferClock::time_point now) const;

    const TransferLimits& limits() const { return limits_; }

  private:
    TransferLimits limits_;
    TransferClock::time_point start_;
    TransferClock::time_point last_growth_;
    std::uint64_t most_bytes_ = 0;
    int requests_ = 0;
    int redirects_ = 0;
};

}  // namespace ml
