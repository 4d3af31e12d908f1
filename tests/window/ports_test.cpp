#include <gtest/gtest.h>

#include <stdexcept>

#include "link_fixture.h"

namespace {

using Entries = std::vector<std::string>;

struct PortDiscovery : ::testing::Test, WindowOnFakes {};

TEST_F(PortDiscovery, NoSerialPortsLeavesAnEmptyListAndEveryPortUnopened) {
    Form1& form = Load();
    EXPECT_TRUE(form.DevList.Items().empty());
    for (int n = 1; n <= 16; ++n) EXPECT_EQ(form.PortOpened[static_cast<std::size_t>(n)], kFalse) << n;
    EXPECT_EQ(form.LinkOpen, kFalse);
    EXPECT_TRUE(events.sleptMs.empty());
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(PortDiscovery, WidgetsOnPorts3And12AreListedInOrderAndTheLastReplyKept) {
    Device(3, ParametersReply(2, 44));
    Device(12, ParametersReply(3, 7, 20, 2, 30));
    Device(5);  // opens, answers nothing
    Form1& form = Load();
    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3", "Pro Widget - Com:  12"}));
    EXPECT_EQ(form.prowidget.WidgetParameters.FirmwareMsb, 3);
    EXPECT_EQ(form.prowidget.WidgetParameters.BreakTime, 20);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(form.PortOpened[static_cast<std::size_t>(n)], ToVBool(n == 3 || n == 5 || n == 12)) << n;
    // One blocking 100 ms wait per port that opened, and every probed port closed again.
    EXPECT_EQ(events.sleptMs, (std::vector<int>{100, 100, 100}));
    EXPECT_EQ(form.LinkOpen, kFalse) << "no port 16 to open at start-up";
    EXPECT_FALSE(port.open);
}

// A widget left in receive mode keeps reporting across a restart of the host; its reply is among the reports.
TEST_F(PortDiscovery, AStreamingWidgetIsFoundByTheReplyAmongItsReports) {
    Bytes dmx(514, 0x7E);
    const Bytes report = WidgetFrame(5, dmx);
    Device(3, report + ParametersReply(2, 44) + report);
    Form1& form = Load();
    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3"}));
    EXPECT_EQ(form.prowidget.ReceivedDmx.Levels[1], 0) << "the reports are not the scan's business";
}

TEST_F(PortDiscovery, RepliesThatAreNotAcceptedLeaveThePortUnlistedButChoosable) {
    Device(4, Bytes{0x41, 0x42, 0x43, 0x44, 0x45});  // garbage
    Device(6, ParametersReply(0, 99));               // firmware high byte 0
    Device(8, WidgetFrame(10, {0, 0, 0, 0}));        // not a parameters reply
    Form1& form = Load();
    EXPECT_TRUE(form.DevList.Items().empty());
    form.Command5.PerformClick();
    ASSERT_EQ(form.DevList.Items().size(), 16u);
    EXPECT_EQ(form.DevList.Items()[3], "Com:  4");
    form.DevList.SetListIndex(3);
    EXPECT_EQ(form.Label5.Caption(), "Current Port: 4");
    EXPECT_TRUE(port.open);
    EXPECT_EQ(port.commPort, 4);
    EXPECT_EQ(form.LinkOpen, kTrue);
    // The Refresh that follows a port choice asks the widget again.
    ASSERT_FALSE(port.writes.empty());
    EXPECT_TRUE(IsGetParametersRequest(port.writes.back()));
}

TEST_F(PortDiscovery, EntryTextGivesThePortItsLastTwoCharactersName) {
    Device(3, ParametersReply(2, 44));
    Device(12, ParametersReply(2, 44));
    struct Row {
        std::vector<std::string> entries;
        std::string label;
        int commPort;
        VBool linkOpen;
    };
    const std::vector<Row> rows{
        {{"Pro Widget - Com:  12"}, "Current Port: 12", 12, kTrue},
        {{"Com:  3"}, "Current Port: 3", 3, kTrue},
        {{"Com:  9"}, "Current Port: 9", 16, kFalse},    // the scan could not open 9: only the label changes
        {{"no number"}, "Current Port: 0", 16, kFalse},  // port 0 refused; init on port 16, which is missing
    };
    for (const auto& row : rows) {
        Form1& form = Load();
        form.DevList.Clear();
        for (const auto& entry : row.entries) form.DevList.AddItem(entry);
        form.DevList.SetListIndex(0);
        EXPECT_EQ(form.Label5.Caption(), row.label) << row.entries[0];
        EXPECT_EQ(port.commPort, row.commPort) << row.entries[0];
        EXPECT_EQ(form.LinkOpen, row.linkOpen) << row.entries[0];
        port.open = false;
    }
}

TEST_F(PortDiscovery, SearchStopsTheOutputMonitorAndLetsEventsRunBeforeScanning) {
    Device(3, ParametersReply(2, 44));
    Form1& form = Load();
    form.Timer3.SetEnabled(true);
    form.Timer4.SetEnabled(true);
    std::size_t writesWhenEventsRan = 99;
    events.onProcess = [&] { writesWhenEventsRan = port.writes.size(); };
    port.writes.clear();
    form.Command2.PerformClick();
    EXPECT_FALSE(form.Timer3.Enabled());
    EXPECT_TRUE(form.Timer4.Enabled());
    EXPECT_EQ(events.processed, 1);
    EXPECT_EQ(writesWhenEventsRan, 0u);
    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3"}));
}

TEST_F(PortDiscovery, StartUpOpensPort16WhenItExists) {
    Device(16, ParametersReply(2, 44));
    Form1& form = Load();
    EXPECT_EQ(form.LinkOpen, kTrue);
    EXPECT_TRUE(port.open);
    EXPECT_EQ(port.commPort, 16);
}

TEST_F(PortDiscovery, ChoosingAnotherPortClosesTheLinkPortFirst) {
    Device(3, ParametersReply(2, 44));
    Device(12, ParametersReply(3, 1));
    Form1& form = Load();
    form.SelectPort(3);
    ASSERT_EQ(port.commPort, 3);
    ASSERT_TRUE(port.open);
    form.SelectPort(12);
    EXPECT_EQ(form.Label5.Caption(), "Current Port: 12");
    EXPECT_EQ(port.commPort, 12) << "the link moved to the chosen port";
    EXPECT_TRUE(port.open);
    EXPECT_EQ(form.LinkOpen, kTrue);
}

TEST_F(PortDiscovery, ChoosingAPortThatNoLongerOpensLeavesTheLinkClosed) {
    Device(3, ParametersReply(2, 44));
    Device(12, ParametersReply(3, 1));
    Form1& form = Load();
    form.SelectPort(3);
    port.existing = {3};  // port 12 unplugged since the scan
    form.SelectPort(12);
    EXPECT_FALSE(port.open);
    EXPECT_EQ(form.LinkOpen, kFalse);
}

TEST_F(PortDiscovery, SearchWithTheLinkOpenProbesEveryPortUnderItsOwnNumber) {
    Device(3, ParametersReply(2, 44));
    Form1& form = Load();
    form.SelectPort(3);
    ASSERT_EQ(form.LinkOpen, kTrue);
    form.Command2.PerformClick();
    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3"}));
    EXPECT_FALSE(port.open);
    EXPECT_EQ(form.LinkOpen, kFalse);
}

TEST_F(PortDiscovery, SelectPortChoosesAsTheListDoesLeavesTheListAndTellsWhetherThePortOpened) {
    Device(3, ParametersReply(2, 44));
    Device(5);
    Form1& form = Load();
    struct Row {
        int port;
        bool opened;
        int linkPort;
    };
    const std::vector<Row> rows{
        {3, true, 3},   // the listed widget
        {5, true, 5},   // opens, but no widget answered the scan
        {9, false, 5},  // the scan could not open it: only the label changes
        {5, true, 5},   // the link port again
    };
    for (const auto& row : rows) {
        EXPECT_EQ(form.SelectPort(row.port), row.opened) << row.port;
        EXPECT_EQ(form.Label5.Caption(), "Current Port: " + std::to_string(row.port));
        EXPECT_EQ(port.commPort, row.linkPort) << row.port;
        EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3"})) << row.port;
    }
    // Choosing the selected entry again still runs the handler.
    form.SelectPort(3);
    const auto requests = port.writes.size();
    form.SelectPort(3);
    EXPECT_GT(port.writes.size(), requests);
    EXPECT_THROW(form.SelectPort(0), std::out_of_range);
    EXPECT_THROW(form.SelectPort(17), std::out_of_range);
}

}  // namespace
