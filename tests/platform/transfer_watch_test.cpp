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

TEST(TransferWatch, AnnouncedBodyLength) {
    struct LengthCase {
        std::string name;
        std::string headers;
        std::optional<std::uint64_t> expected;
    };
    const std::string status = "HTTP/1.1 200 OK\r\n";
    const std::vector<LengthCase> cases = {
        {"plain", status + "Content-Length: 200000\r\nServer: x\r\n\r\n", 200000},
        {"any letter case, no space, line feeds only", status + "content-LENGTH:5\n", 5},
        {"spaces and tabs around the value", status + "Content-Length: \t42 \t\r\n", 42},
        {"over 4 GiB", status + "Content-Length: 5000000000\r\n", 5000000000ull},
        {"none (a chunked answer)", status + "Transfer-Encoding: chunked\r\n\r\n", std::nullopt},
        {"empty header block", "", std::nullopt},
        {"repeated with the same value", status + "Content-Length: 7\r\nContent-Length: 7\r\n", 7},
        {"repeated with another value", status + "Content-Length: 7\r\nContent-Length: 9\r\n",
         std::nullopt},
        {"not a number", status + "Content-Length: 12abc\r\n", std::nullopt},
        {"a list of numbers", status + "Content-Length: 7, 7\r\n", std::nullopt},
        {"negative", status + "Content-Length: -1\r\n", std::nullopt},
        {"empty value", status + "Content-Length:\r\n", std::nullopt},
        {"too large for 64 bits", status + "Content-Length: 99999999999999999999\r\n",
         std::nullopt},
        // The length then counts the compressed bytes, not the ones the service saves.
        {"gzip-encoded", status + "Content-Length: 100\r\nContent-Encoding: gzip\r\n",
         std::nullopt},
        {"encoding named before the length",
         status + "Content-Encoding: br\r\nContent-Length: 1\r\n", std::nullopt},
        {"identity encoding", status + "Content-Encoding: Identity\r\nContent-Length: 3\r\n", 3},
        {"a name that only contains it", status + "X-Content-Length: 3\r\n", std::nullopt},
    };
    for (const LengthCase& c : cases) {
        EXPECT_EQ(announced_body_length(c.headers), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace ml
