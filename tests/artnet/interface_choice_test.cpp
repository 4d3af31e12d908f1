#include <gtest/gtest.h>

#include "artnet/interface_choice.h"

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

}  // namespace
