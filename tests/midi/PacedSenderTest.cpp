// Fragmenting and pacing through the transport interface, on a fake clock:
// the fragments, their absolute schedule at several rates, progress, cancel,
// a lost system, a failing output and a port that goes.

#include "PacedSender.h"

#include "TempDir.h"

#include <cmath>
#include <gtest/gtest.h>

namespace a3::midi {
namespace {

using std::chrono::duration;
using Status = TransferResult::Status;

// An output that records what is sent and when, on a fake clock of its own;
// each send takes a little time, which a schedule of relative sleeps would add up.
struct RecordingOutput final : MidiOutput, PacingClock
{
    time_point now() const override { return _now; }
    void sleepUntil(time_point when, std::stop_token stop) override
    {
        if (!stop.stop_requested()) {
            _now = std::max(_now, when);
        }
    }
    double seconds() const { return duration<double>(_now.time_since_epoch()).count(); }
    void send(std::span<const std::uint8_t> bytes) override
    {
        sent.push_back({seconds(), {bytes.begin(), bytes.end()}});
        _now += std::chrono::microseconds(100);
        if (afterSend) {
            afterSend(sent.size());
        }
    }
    const std::string& port() const override { return name; }
    bool connected() override
    {
        checkedAt.push_back(seconds());
        return there;
    }

    time_point _now{};
    std::vector<std::pair<double, std::vector<std::uint8_t>>> sent; // at seconds, bytes
    std::function<void(std::size_t count)> afterSend;
    const std::string name = "device in:MIDI";
    bool there = true;
    std::vector<double> checkedAt; // when connected() was asked
};

TEST(Sending, SendsFragmentsOnAnAbsoluteScheduleAtEveryRate)
{
    const auto dump = test::wellFormedAllDataFile();
    for (const double rate : {kWireSpeed, 10 * kWireSpeed, 1000.0}) {
        SCOPED_TRACE(rate);
        RecordingOutput output;
        std::vector<TransferProgress> reports;
        const auto result = PacedSender(rate, output)
                                .send(output, dump, {}, {}, [&](const TransferProgress& report) {
                                    reports.push_back(report);
                                });

        ASSERT_TRUE(result.done()) << result.message;
        EXPECT_EQ(result.bytes, dump.size());
        ASSERT_EQ(output.sent.size(), 115u); // 29198 bytes in 256-byte fragments
        std::vector<std::uint8_t> joined;
        for (std::size_t k = 0; k < output.sent.size(); ++k) {
            const auto& [at, fragment] = output.sent[k];
            EXPECT_EQ(fragment.size(), k + 1 < output.sent.size() ? 256u : 14u);
            EXPECT_NEAR(at, static_cast<double>(joined.size()) / rate, 1e-6);
            EXPECT_EQ(reports[k].bytes, joined.size() + fragment.size());
            EXPECT_NEAR(static_cast<double>(reports[k].remaining.count()),
                        1000 * static_cast<double>(dump.size() - joined.size()) / rate, 1.5);
            joined.insert(joined.end(), fragment.begin(), fragment.end());
        }
        EXPECT_EQ(joined, dump);
        const double total = static_cast<double>(dump.size()) / rate;
        EXPECT_NEAR(output.seconds(), total, 1e-6);
        // The port is asked after each second at the first fragment that
        // follows, and once all has left.
        ASSERT_FALSE(output.checkedAt.empty());
        EXPECT_NEAR(output.checkedAt.back(), total, 1e-6);
        double last = 0;
        for (std::size_t k = 0; k + 1 < output.checkedAt.size(); ++k) {
            EXPECT_GE(output.checkedAt[k] - last, 1.0);
            EXPECT_LT(output.checkedAt[k] - last, 1.0 + kMaxFragmentSize / rate + 1e-3);
            last = output.checkedAt[k];
        }
        EXPECT_LT(total - last, 1.0 + kMaxFragmentSize / rate + 1e-3);
    }
}

// Cancelled or the system lost after the third fragment, or the output
// failing at it: it stops there. A port that goes is noticed at the first
// check after it went: in the second second, or once all has left.
TEST(Sending, StopsAfterTheFragmentGoingOutOrAtTheNextPortCheck)
{
    const auto dump = test::wellFormedAllDataFile();
    const std::string failure = "The MIDI system reported: error sending MIDI message to port.";
    const auto portGone = [](std::size_t bytes) {
        return "The port \"device in:MIDI\" went away after " + std::to_string(bytes) +
               " of 29198 bytes.";
    };
    const struct
    {
        const char* way;
        double rate;
        std::size_t after; // fragments
        Status status;
        std::string message;
        std::size_t bytes; // sent when it stops
    } cases[] = {
        {"cancel", kWireSpeed, 3, Status::Cancelled,
         "Sending was cancelled after 768 of 29198 bytes: the device got a partial dump.", 768},
        {"lose", kWireSpeed, 3, Status::Failed, std::string(kSystemLostMessage), 768},
        {"fail", kWireSpeed, 3, Status::Failed, failure, 512},
        {"unplug", kWireSpeed, 3, Status::Failed, portGone(13 * 256), 13 * 256},
        {"unplug", 10 * kWireSpeed, 3, Status::Failed, portGone(29198), 29198},
        {"unplug", kWireSpeed, 115, Status::Failed, portGone(29198), 29198},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.way) + " after " + std::to_string(c.after));
        RecordingOutput out;
        std::stop_source cancel;
        std::stop_source lost;
        out.afterSend = [&](std::size_t count) {
            if (count != c.after) {
                return;
            }
            const std::string way = c.way;
            if (way == "fail") {
                throw MidiError(failure);
            }
            if (way == "unplug") {
                out.there = false;
            } else {
                (way == "lose" ? lost : cancel).request_stop();
            }
        };
        const auto result =
            PacedSender(c.rate, out).send(out, dump, cancel.get_token(), lost.get_token(), {});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(result.bytes, c.bytes);
        EXPECT_EQ(out.sent.size(), std::max(c.after, (c.bytes + 255) / 256));
    }
}

// A message of whole fragments ends with a full one, never an empty one.
TEST(Fragments, CoverTheMessageExactlyWhateverItsLength)
{
    const std::vector<std::uint8_t> message(3 * kMaxFragmentSize);
    for (const std::size_t length :
         {std::size_t{0}, std::size_t{1}, kMaxFragmentSize, kMaxFragmentSize + 1, message.size()}) {
        const auto fragments = sysExFragments(std::span(message).first(length));
        EXPECT_EQ(fragments.size(), (length + kMaxFragmentSize - 1) / kMaxFragmentSize) << length;
        for (const auto fragment : fragments) {
            EXPECT_FALSE(fragment.empty()) << length;
        }
    }
}

TEST(PacedSender, RefusesRatesOutsideItsRange)
{
    RecordingOutput clock;
    for (const double rate : {0.0, -1.0, kFastestRate * 1.01, std::nan("")}) {
        EXPECT_THROW(PacedSender(rate, clock), std::invalid_argument) << rate;
    }
    EXPECT_NO_THROW(PacedSender(kFastestRate, clock));
}

} // namespace
} // namespace a3::midi
