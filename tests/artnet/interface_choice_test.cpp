#include <gtest/gtest.h>

#include "artnet/interface_choice.h"
#include "stuff/socket_error.h"

namespace {

const std::vector<InterfaceAddress> kMachine = {
    {"lo", "127.0.0.1", "255.0.0.0", true, true, true},
    {"eth0", "10.0.0.7", "255.255.255.0", false, false, false},     // down
    {"eth1", "192.168.1.20", "255.255.255.0", true, false, false},  // up, no carrier
    {"wlan0", "172.16.5.9", "255.255.0.0", true, true, false},
    {"wlan0", "172.16.6.1", "255.255.0.0", true, true, false},
};

struct ChoiceCase {
    const char* name;
    std::optional<std::string> wanted;
    std::optional<std::string> expectedIp;
};

void PrintTo(const ChoiceCase& row, std::ostream* out) {
    *out << row.name;
}

class InterfaceChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(InterfaceChoice, PicksTheArtNetAddress) {
    const auto chosen = ChooseInterfaceAddress(kMachine, GetParam().wanted);
    ASSERT_EQ(chosen.has_value(), GetParam().expectedIp.has_value());
    if (chosen) {
        EXPECT_EQ(chosen->ip, *GetParam().expectedIp);
    }
}

const ChoiceCase kCases[] = {
    {"FirstUpRunningNotLoopback", std::nullopt, "172.16.5.9"},
    {"NamedLoopback", std::string("lo"), "127.0.0.1"},
    {"NamedInterfaceEvenWhenDown", std::string("eth0"), "10.0.0.7"},
    {"NamedByAddress", std::string("172.16.6.1"), "172.16.6.1"},
    {"UnknownNameFindsNothing", std::string("eth9"), std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Rows, InterfaceChoice, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InterfaceChoiceAlone, OnlyLoopbackAndNothingNamedFindsNothing) {
    EXPECT_FALSE(ChooseInterfaceAddress({kMachine[0]}, std::nullopt).has_value());
}

TEST(InterfaceChoiceAlone, NamedLoopbackCarriesItsNetmask) {
    EXPECT_EQ(ChooseInterfaceAddress(kMachine, std::string("lo"))->netmask, "255.0.0.0");
}

// The one choice for both sockets: VANTOR_ARTNET_INTERFACE as set, and what it names or why nothing fits.
TEST(InterfaceChoiceAlone, FromTheVariableOrTheReason) {
    struct Row {
        std::optional<std::string> variable;
        const char* expected;  // the address, or the reason thrown
        bool named;
    };
    const Row rows[] = {
        {std::nullopt, "172.16.5.9", false},
        {std::string(" lo\n"), "127.0.0.1", true},
        {std::string("eth9"), "No IPv4 address on interface eth9", true},
    };
    for (const Row& row : rows) {
        try {
            const auto chosen = ChooseInterface(kMachine, row.variable);
            EXPECT_EQ(chosen.address.ip, row.expected);
            EXPECT_EQ(chosen.named, row.named);
        } catch (const SocketError& error) {
            EXPECT_STREQ(error.what(), row.expected);
        }
    }
    EXPECT_THROW(ChooseInterface({kMachine[0]}, std::nullopt), SocketError);
}

}  // namespace
