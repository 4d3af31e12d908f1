// The serial control closes the port itself after a failure: a write the widget did not take, a device gone
// while reading. The window must then behave as with no port until the user chooses one again.

#include <gtest/gtest.h>

#include <tuple>

#include "link_fixture.h"
#include "sacn/recording_socket.h"

namespace {

struct LinkLoss : ::testing::Test, WindowOnFakes {
    // Port 16 open from start-up, output running.
    Form1& Open() {
        Device(16, ParametersReply(2, 44));
        Form1& form = Load();
        form.timOutput.SetEnabled(true);
        return form;
    }
};

TEST_F(LinkLoss, AFailedWriteCostsOneMessageAndEverythingThatTestsTheLinkSeesNoPort) {
    Form1& form = Open();
    port.failWrites = true;
    for (int tick = 0; tick < 5; ++tick) form.timOutput.Fire();
    EXPECT_EQ(box.shown, std::vector<std::string>{"Write timed out"});
    EXPECT_EQ(form.LinkOpen, kFalse);

    port.failWrites = false;
    port.writes.clear();
    form.cfg_request.PerformClick();
    form.Command3.PerformClick();
    form.senddmxbutton.PerformClick();
    form.timOutput.Fire();
    EXPECT_TRUE(port.writes.empty());
    EXPECT_FALSE(form.Timer3.Enabled()) << "no output monitor for a dead link";
    EXPECT_EQ(box.shown.size(), 1u);

    // The user chooses the port again: the link and the output come back.
    EXPECT_TRUE(form.SelectPort(16));
    EXPECT_EQ(form.LinkOpen, kTrue);
    form.timOutput.Fire();
    ASSERT_FALSE(port.writes.empty());
    EXPECT_EQ(port.writes.back().size(), 518u);
}

TEST_F(LinkLoss, ADeviceFoundGoneByTheReceivePollCostsOneMessage) {
    Form1& form = Open();
    port.vanished = true;
    for (int tick = 0; tick < 5; ++tick) {
        form.Timer1.Fire();
        form.timOutput.Fire();
    }
    EXPECT_EQ(form.LinkOpen, kFalse);
    EXPECT_EQ(box.shown, std::vector<std::string>{"Input/output error"});
}

// The own sACN stream is fed by the link: a short report leaves with its own slots, not with an earlier
// report's after them, and the link's loss ends the stream at once, with the last levels sent.
TEST_F(LinkLoss, TheOwnSacnStreamEndsWithTheLink) {
    RecordingSocket sacn;
    sacnSocket = &sacn;
    Form1& form = Open();
    form.bridge.ChooseProtocol(BridgeProtocol::Sacn);
    for (const auto& [slots, level] : {std::pair<std::size_t, std::uint8_t>{512, 9}, {3, 7}}) {
        Bytes data(2 + slots, level);  // receive status and start code 0, then the slots
        data[0] = data[1] = 0;
        port.Receive(WidgetFrame(5, data));
        form.Timer1.Fire();
    }
    port.vanished = true;
    form.Timer1.Fire();
    EXPECT_EQ(form.LinkOpen, kFalse);
    std::vector<std::tuple<bool, std::size_t, std::uint8_t>> packets;  // terminated, slots, the last's level
    for (const Sent& sent : sacn.sent) {
        SacnIgnored ignored{};
        if (const auto packet = ParseSacnDataPacket(sent.bytes, ignored))
            packets.emplace_back(packet->Options & kSacnOptionStreamTerminated, packet->Slots.size(),
                                 packet->Slots.back());
    }
    EXPECT_EQ(packets, (std::vector<std::tuple<bool, std::size_t, std::uint8_t>>{
                           {false, 512, 9}, {false, 3, 7}, {true, 3, 7}, {true, 3, 7}, {true, 3, 7}}));
    this->form.reset();  // the window goes before the socket it was given
}

}  // namespace
