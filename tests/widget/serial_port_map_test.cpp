#include <gtest/gtest.h>

#include "widget/serial_port_map.h"

namespace {

struct MapCase {
    const char* name;
    std::optional<std::string> configured;
    std::vector<std::string> system;
    std::vector<std::string> expected;  // entry 0 is port 1
};

void PrintTo(const MapCase& row, std::ostream* out) {
    *out << row.name;
}

class SerialPortMap : public ::testing::TestWithParam<MapCase> {};

TEST_P(SerialPortMap, NumbersPortsFromOne) {
    const auto& row = GetParam();
    EXPECT_EQ(SerialPortPaths(row.configured, row.system), row.expected);
}

const MapCase kCases[] = {
    {"NoDevices", std::nullopt, {}, {}},
    {"UsbThenAcmThenRestEachByNumber",
     std::nullopt,
     {"/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyUSB2", "/dev/ttyACM1"},
     {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS1"}},
    {"NumbersCompareAsNumbersNotText",
     std::nullopt,
     {"/dev/ttyUSB11", "/dev/ttyUSB9", "/dev/ttyUSB100"},
     {"/dev/ttyUSB9", "/dev/ttyUSB11", "/dev/ttyUSB100"}},
    {"RestGroupedByNameThenNumber",
     std::nullopt,
     {"/dev/ttyS2", "/dev/ttyAMA0", "/dev/rfcomm0", "/dev/ttyS10"},
     {"/dev/rfcomm0", "/dev/ttyAMA0", "/dev/ttyS2", "/dev/ttyS10"}},
    {"DuplicatesListedOnce", std::nullopt, {"/dev/ttyUSB0", "/dev/ttyUSB0"}, {"/dev/ttyUSB0"}},
    {"ConfiguredListWins",
     std::string("/dev/pts/3,/dev/ttyUSB0"),
     {"/dev/ttyUSB7"},
     {"/dev/pts/3", "/dev/ttyUSB0"}},
    {"ConfiguredEmptyItemLeavesANumberFree", std::string("/dev/a,,/dev/c"), {}, {"/dev/a", "", "/dev/c"}},
    {"ConfiguredItemsTrimmed", std::string(" /dev/a , /dev/b"), {}, {"/dev/a", "/dev/b"}},
    {"ConfiguredButEmptyMeansNoPorts", std::string(""), {"/dev/ttyUSB0"}, {}},
};

INSTANTIATE_TEST_SUITE_P(Rows, SerialPortMap, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
