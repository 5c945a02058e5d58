#include "platform/transfer_watch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ml {
namespace {

using std::chrono::milliseconds;

// One event of a transfer: at `at` ms, the bytes seen so far, or a request or a redirect.
struct Event {
    int at;
    enum { Bytes, Request, Redirect } what;
    std::uint64_t bytes = 0;
};

struct Case {
    std::string name;
    std::vector<Event> events;
    int check_at;  // ms after the start
    std::optional<TransferEnd> expected;
};

TEST(TransferWatch, DecidesWhenATransferEnds) {
    const TransferLimits limits{milliseconds(1000), milliseconds(5000), 3};
    const std::vector<Case> cases = {
        {"silent server, just before the stall limit", {}, 999, std::nullopt},
        {"silent server, at the stall limit", {}, 1000, TransferEnd::Stalled},
        {"a byte a second is slow, not stalled",
         {{900, Event::Bytes, 1}, {1800, Event::Bytes, 2}, {2700, Event::Bytes, 3}},
         3600,
         std::nullopt},
        {"no new byte after the last one",
         {{900, Event::Bytes, 1}, {1800, Event::Bytes, 2}},
         2800,
         TransferEnd::Stalled},
        {"the same count again is no growth",
         {{500, Event::Bytes, 7}, {1200, Event::Bytes, 7}},
         1500,
         TransferEnd::Stalled},
        {"a file that shrinks has not grown",
         {{500, Event::Bytes, 7}, {1200, Event::Bytes, 3}},
         1500,
         TransferEnd::Stalled},
        {"growing to the end still meets the total limit",
         {{4500, Event::Bytes, 1}, {4900, Event::Bytes, 2}},
         5000,
         TransferEnd::TooLong},
        {"three redirects are followed",
         {{1, Event::Request}, {2, Event::Request}, {3, Event::Request}, {4, Event::Request}},
         5,
         std::nullopt},
        {"the fourth is one too many",
         {{1, Event::Request},
          {2, Event::Request},
          {3, Event::Request},
          {4, Event::Request},
          {5, Event::Request}},
         6,
         TransferEnd::TooManyRedirects},
        {"redirects reported by name and by request count once",
         {{1, Event::Request},
          {2, Event::Redirect},
          {2, Event::Request},
          {3, Event::Redirect},
          {3, Event::Request},
          {4, Event::Redirect},
          {4, Event::Request}},
         5,
         std::nullopt},
        {"redirects reported by name alone",
         {{1, Event::Redirect}, {2, Event::Redirect}, {3, Event::Redirect}, {4, Event::Redirect}},
         5,
         TransferEnd::TooManyRedirects},
    };
    const auto start = TransferClock::now();
    for (const Case& c : cases) {
        TransferWatch watch(limits, start);
        for (const Event& e : c.events) {
            if (e.what == Event::Bytes) watch.bytes_seen(e.bytes, start + milliseconds(e.at));
            if (e.what == Event::Request) watch.request_sent();
            if (e.what == Event::Redirect) watch.redirect_seen();
        }
        EXPECT_EQ(watch.due(start + milliseconds(c.check_at)), c.expected) << c.name;
    }
}

TEST(TransferWatch, TestOverridesOnlyReplaceWhatTheyReadAsMilliseconds) {
    struct Override {
        std::optional<std::string_view> stall, total;
        milliseconds want_stall, want_total;
    };
    const std::vector<Override> cases = {
        {std::nullopt, std::nullopt, kDownloadStallLimit, kDownloadTotalLimit},
        {"1500", "20000", milliseconds(1500), milliseconds(20000)},
        {"", "0", kDownloadStallLimit, kDownloadTotalLimit},
        {"15s", "-1", kDownloadStallLimit, kDownloadTotalLimit},
        {" 100", "99999999999999", kDownloadStallLimit, kDownloadTotalLimit},
    };
    for (const Override& c : cases) {
        const TransferLimits limits = transfer_limits_with(c.stall, c.total);
        EXPECT_EQ(limits.stall, c.want_stall) << c.stall.value_or("(unset)");
        EXPECT_EQ(limits.total, c.want_total) << c.total.value_or("(unset)");
        EXPECT_EQ(limits.max_redirects, 10);
    }
    // The shipped limits.
    EXPECT_EQ(kDownloadStallLimit, std::chrono::seconds(30));
    EXPECT_EQ(kDownloadTotalLimit, std::chrono::minutes(10));
}

}  // namespace
}  // namespace ml
