// The serial control closes the port itself after a failure: a write the widget did not take, a device gone
// while reading. The window must then behave as with no port until the user chooses one again.

#include <gtest/gtest.h>

#include "link_fixture.h"

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

}  // namespace
