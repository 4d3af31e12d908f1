#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "link_fixture.h"

namespace {

// Received DMX with status 0 and channel n at n * step + offset: 0x7E and 0xE7 occur among the levels.
Bytes ReceivedDmxFrame(std::uint8_t offset, std::uint8_t status = 0) {
    Bytes data{status, 0x00};
    for (int channel = 1; channel <= 512; ++channel)
        data.push_back(static_cast<std::uint8_t>(channel * 7 + offset));
    return WidgetFrame(5, data);
}

struct Forward {
    std::uint8_t universe;
    LevelArray levels;
    bool operator==(const Forward&) const = default;
};

// The window with port 16 open at start-up and every forward recorded as the ArtDmx it becomes.
struct ReceivePoll : ::testing::Test, WindowOnFakes {
    Form1& Open() {
        Device(16);
        Form1& form = Load();
        form.ArtUniv.SetValue(7);
        form.prowidget.SetDmxForwarder(
            [&form] { return !FromVBool(form.SendMode); },
            [this, &form](std::span<const std::uint8_t, kLevelCount> levels) {
                Forward forward{static_cast<std::uint8_t>(form.ArtUniv.Value()), {}};
                std::copy(levels.begin(), levels.end(), forward.levels.begin());
                forwards.push_back(forward);
            });
        return form;
    }
    void Tick(Form1& form, const Bytes& read) {
        port.Receive(read);
        form.Timer1.Fire();
    }
    std::vector<Forward> forwards;
};

TEST_F(ReceivePoll, EveryFrameOfAReadIsParsedInOrder) {
    Form1& form = Open();
    Tick(form, ReceivedDmxFrame(1) + ReceivedDmxFrame(2) + ParametersReply(2, 44));
    ASSERT_EQ(forwards.size(), 2u);
    EXPECT_EQ(forwards[0].levels[1], 8);
    EXPECT_EQ(forwards[1].levels[1], 9);
    EXPECT_EQ(forwards[1].universe, 7);
    EXPECT_EQ(form.prowidget.WidgetParameters.FirmwareLsb, 44);
    EXPECT_EQ(form.prowidget.ReplyStatus, 0);
}

TEST_F(ReceivePoll, StreamSplitAtEveryPointGivesTheSameRecordsAndForwards) {
    const Bytes stream = Bytes{0x00, 0xE7} + ReceivedDmxFrame(1) + Bytes{0x7E, 0x41} + ReceivedDmxFrame(2) +
                         ParametersReply(2, 44, 30) + ReceivedDmxFrame(3, 4);
    Form1& whole = Open();
    Tick(whole, stream);
    const auto expectedForwards = forwards;
    const Bytes expectedDmx = BytesOf(whole.prowidget.ReceivedDmx);
    ASSERT_EQ(expectedForwards.size(), 2u) << "the faulty frame is kept, not forwarded";
    EXPECT_EQ(whole.prowidget.ReceivedDmx.ReceiveStatus, 4);

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        forwards.clear();
        Form1& form = Open();
        Tick(form, Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)));
        Tick(form, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end()));
        ASSERT_EQ(forwards, expectedForwards) << "cut at " << cut;
        ASSERT_EQ(BytesOf(form.prowidget.ReceivedDmx), expectedDmx) << "cut at " << cut;
        ASSERT_EQ(form.prowidget.WidgetParameters.BreakTime, 30) << "cut at " << cut;
    }
}

TEST_F(ReceivePoll, BadEndByteIsReportedAndTheNextFrameStillArrives) {
    Form1& form = Open();
    Bytes broken = ReceivedDmxFrame(1);
    broken.back() = 0x00;
    Tick(form, broken + ReceivedDmxFrame(2));
    EXPECT_EQ(form.prowidget.ReplyStatus, 0);
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(forwards[0].levels[1], 9);
    Tick(form, broken);
    EXPECT_EQ(form.prowidget.ReplyStatus, 1);
    form.Timer2.Fire();
    EXPECT_EQ(form.StatusBar1.SimpleText(), "1 Not Valid Packet, Recieved data seems invalid");
}

TEST_F(ReceivePoll, AChosenPortStartsWithoutTheOldPortsPartialFrame) {
    Device(3);
    Form1& form = Open();
    const Bytes frame = ReceivedDmxFrame(1);
    Tick(form, Bytes(frame.begin(), frame.begin() + 100));
    form.SelectPort(3);
    Tick(form, ReceivedDmxFrame(2));
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(forwards[0].levels[1], 9);
    EXPECT_EQ(form.prowidget.ReplyStatus, 0);
}

// While a partial frame waits the poll ticks on its clock; whatever drops that frame puts it back on input.
enum class Drop { AnotherPortChosen, LinkPortSearched, PortClosedUnderTheLink };
struct ReceivePollDrop : ReceivePoll, ::testing::WithParamInterface<Drop> {};

TEST_P(ReceivePollDrop, ReturnsThePollToTickingOnInput) {
    port.announcesInput = true;
    Device(3);
    Form1& form = Open();
    ASSERT_TRUE(form.Timer1.TicksOnInput());
    Tick(form, Bytes{0x7E, 0x05, 0x58, 0x02, 0x00});
    ASSERT_FALSE(form.Timer1.TicksOnInput());
    switch (GetParam()) {
        case Drop::AnotherPortChosen:
            form.SelectPort(3);
            break;
        case Drop::LinkPortSearched:
            form.SearchPort(16);
            break;
        case Drop::PortClosedUnderTheLink:
            port.open = false;
            form.Timer1.Fire();
            break;
    }
    EXPECT_TRUE(form.Timer1.TicksOnInput());
}
INSTANTIATE_TEST_SUITE_P(Drops, ReceivePollDrop,
                         ::testing::Values(Drop::AnotherPortChosen, Drop::LinkPortSearched,
                                           Drop::PortClosedUnderTheLink));

// A stray start byte followed by a plausible length claims more bytes than the frames behind it hold.
TEST_F(ReceivePoll, APartialFrameIsGivenUpAfter100msOfTheEventLoopsTimeAndTheFramesBehindItCome) {
    Form1& form = Open();
    Tick(form, Bytes{0x7E, 0x05, 0x58, 0x02, 0x00} + ReceivedDmxFrame(2));
    EXPECT_TRUE(forwards.empty());
    events.now += std::chrono::milliseconds(99);
    form.Timer1.Fire();
    EXPECT_TRUE(forwards.empty());
    events.now += std::chrono::milliseconds(1);
    form.Timer1.Fire();
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(forwards[0].levels[1], 9);
    EXPECT_EQ(form.prowidget.ReplyStatus, 0) << "the frame that came is the latest news";
}

TEST_F(ReceivePoll, ClosedPortEndsEveryTickSilently) {
    Form1& form = Load();
    port.input.assign({0x7E, 0x03});
    form.Timer1.Fire();
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(form.prowidget.ReplyStatus, 255);
}

TEST_F(ReceivePoll, FailingForwardIsShownOnceWhileItsBoxIsOpen) {
    Form1& form = Open();
    form.prowidget.SetDmxForwarder(
        [] { return true; },
        [](std::span<const std::uint8_t, kLevelCount>) { throw std::runtime_error("Network unreachable"); });
    // While the box is open the poll keeps ticking, as under a nested event loop.
    box.whileOpen = [&] { Tick(form, ReceivedDmxFrame(3)); };
    Tick(form, ReceivedDmxFrame(1) + ReceivedDmxFrame(2));
    EXPECT_EQ(box.shown, (std::vector<std::string>{"Network unreachable", "Network unreachable"}));
    EXPECT_EQ(form.prowidget.ReceivedDmx.Levels[1], 9) << "the second frame of the read was still parsed";
    form.Timer1.Fire();
    EXPECT_EQ(form.prowidget.ReceivedDmx.Levels[1], 10)
        << "bytes that came while the box was open are read later";
}

}  // namespace
