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

class FakeClock final : public PacingClock
{
public:
    time_point now() const override { return _now; }
    void sleepUntil(time_point when, std::stop_token stop) override
    {
        if (!stop.stop_requested()) {
            _now = std::max(_now, when);
        }
    }
    void advance(std::chrono::microseconds time) { _now += time; }

private:
    time_point _now{};
};

struct Sent
{
    double at; // seconds on the fake clock
    std::vector<std::uint8_t> bytes;
};

// Records what is sent and when; each send takes a little time, which a
// schedule of relative sleeps would add up.
class RecordingOutput final : public MidiOutput
{
public:
    explicit RecordingOutput(FakeClock& clock)
        : _clock(clock)
    {}
    void send(std::span<const std::uint8_t> bytes) override
    {
        sent.push_back({duration<double>(_clock.now().time_since_epoch()).count(),
                        {bytes.begin(), bytes.end()}});
        _clock.advance(std::chrono::microseconds(100));
        if (afterSend) {
            afterSend(sent.size());
        }
    }
    const std::string& port() const override { return name; }
    bool connected() override
    {
        checkedAt.push_back(duration<double>(_clock.now().time_since_epoch()).count());
        return there;
    }

    std::vector<Sent> sent;
    std::function<void(std::size_t count)> afterSend;
    const std::string name = "device in:MIDI";
    bool there = true;
    std::vector<double> checkedAt; // when connected() was asked

private:
    FakeClock& _clock;
};

class Sending : public ::testing::Test
{
protected:
    const std::vector<std::uint8_t> dump = test::wellFormedAllDataFile();
    FakeClock clock;
    RecordingOutput output{clock};
};

class Pacing : public Sending, public ::testing::WithParamInterface<double>
{};

TEST_P(Pacing, SendsFragmentsOnAnAbsoluteSchedule)
{
    const double rate = GetParam();
    std::vector<TransferProgress> reports;
    const auto result =
        PacedSender(rate, clock).send(output, dump, {}, {}, [&](const TransferProgress& report) {
            reports.push_back(report);
        });

    ASSERT_TRUE(result.done()) << result.message;
    EXPECT_EQ(result.bytes, dump.size());
    ASSERT_EQ(output.sent.size(), 115u); // 29198 bytes in 256-byte fragments
    std::vector<std::uint8_t> joined;
    for (std::size_t k = 0; k < output.sent.size(); ++k) {
        const auto& fragment = output.sent[k].bytes;
        EXPECT_EQ(fragment.size(), k + 1 < output.sent.size() ? 256u : 14u);
        EXPECT_EQ(fragment.back() == 0xF7, k + 1 == output.sent.size());
        EXPECT_NEAR(output.sent[k].at, static_cast<double>(joined.size()) / rate, 1e-6);
        EXPECT_EQ(reports[k].bytes, joined.size() + fragment.size());
        EXPECT_NEAR(static_cast<double>(reports[k].remaining.count()),
                    1000 * static_cast<double>(dump.size() - joined.size()) / rate, 1.5);
        joined.insert(joined.end(), fragment.begin(), fragment.end());
    }
    EXPECT_EQ(output.sent.front().bytes.front(), 0xF0);
    EXPECT_EQ(joined, dump);
    const double total = static_cast<double>(dump.size()) / rate;
    EXPECT_NEAR(duration<double>(clock.now().time_since_epoch()).count(), total, 1e-6);
    // The port is asked after each second at the first fragment that follows,
    // and once all has left.
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

INSTANTIATE_TEST_SUITE_P(PacedSender, Pacing,
                         ::testing::Values(kWireSpeed, 10 * kWireSpeed, 1000.0));

struct Interruption
{
    std::string name;
    TransferResult::Status status;
    std::string message;
    std::size_t bytes; // sent when it stops
};

void PrintTo(const Interruption& interruption, std::ostream* out)
{
    *out << interruption.name;
}

class Interrupted : public Sending, public ::testing::WithParamInterface<Interruption>
{};

// Cancelled or the system lost after the third fragment, or the output
// failing at it: it stops there.
TEST_P(Interrupted, StopsAfterTheFragmentGoingOut)
{
    std::stop_source cancel;
    std::stop_source lost;
    output.afterSend = [&](std::size_t count) {
        if (count == 3) {
            if (GetParam().name == "OutputFails") {
                throw MidiError("The MIDI system reported: error sending MIDI message to port.");
            }
            (GetParam().name == "SystemLost" ? lost : cancel).request_stop();
        }
    };
    const auto result =
        PacedSender(kWireSpeed, clock).send(output, dump, cancel.get_token(), lost.get_token(), {});
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_EQ(result.message, GetParam().message);
    EXPECT_EQ(result.bytes, GetParam().bytes);
    EXPECT_EQ(output.sent.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    PacedSender, Interrupted,
    ::testing::Values(
        Interruption{"Cancelled", TransferResult::Status::Cancelled,
                     "Sending was cancelled after 768 of 29198 bytes: the device got a partial "
                     "dump.",
                     768},
        Interruption{"SystemLost", TransferResult::Status::Failed, std::string(kSystemLostMessage),
                     768},
        Interruption{"OutputFails", TransferResult::Status::Failed,
                     "The MIDI system reported: error sending MIDI message to port.", 512}),
    [](const auto& interruption) { return interruption.param.name; });

struct PortGone
{
    double rate;
    std::size_t goneAfter; // fragments
    std::size_t noticedAt; // bytes
};

void PrintTo(const PortGone& gone, std::ostream* out)
{
    *out << gone.rate << " bytes/s, gone after fragment " << gone.goneAfter;
}

class PortGoes : public Sending, public ::testing::WithParamInterface<PortGone>
{};

// Noticed at the first check after it went: in the second second, or once
// all has left.
TEST_P(PortGoes, FailsAtTheNextCheck)
{
    output.afterSend = [&](std::size_t count) {
        output.there = output.there && count != GetParam().goneAfter;
    };
    const auto result = PacedSender(GetParam().rate, clock).send(output, dump, {}, {}, {});
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_EQ(result.message, "The port \"device in:MIDI\" went away after " +
                                  std::to_string(GetParam().noticedAt) + " of 29198 bytes.");
    EXPECT_EQ(result.bytes, GetParam().noticedAt);
}

INSTANTIATE_TEST_SUITE_P(PacedSender, PortGoes,
                         ::testing::Values(PortGone{kWireSpeed, 3, 13 * 256},
                                           PortGone{10 * kWireSpeed, 3, 29198},
                                           PortGone{kWireSpeed, 115, 29198}));

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

TEST_F(Sending, RefusesRatesOutsideItsRange)
{
    for (const double rate : {0.0, -1.0, kFastestRate * 1.01, std::nan("")}) {
        EXPECT_THROW(PacedSender(rate, clock), std::invalid_argument) << rate;
    }
    EXPECT_NO_THROW(PacedSender(kFastestRate, clock));
}

} // namespace
} // namespace a3::midi
