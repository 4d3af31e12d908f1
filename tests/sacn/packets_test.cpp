#include <gtest/gtest.h>

#include <string>

#include "sacn_fixture.h"

namespace {

struct Field {
    std::size_t offset;
    Bytes bytes;
};

const Bytes kAcnId{'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};

void ExpectFields(const std::span<const std::uint8_t> packet, const std::vector<Field>& fields) {
    for (const Field& field : fields) {
        ASSERT_LE(field.offset + field.bytes.size(), packet.size());
        EXPECT_EQ(Bytes(packet.begin() + field.offset, packet.begin() + field.offset + field.bytes.size()),
                  field.bytes)
            << "at offset " << field.offset;
    }
}

const SacnSenderFields kSender{CidOf(0xC1), "studio-pc Vantor", 150, 0x1234};

TEST(SacnPackets, DataPacketHasEveryFieldAtItsOffset) {
    std::array<std::uint8_t, kSacnSlots> levels{};
    for (std::size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<std::uint8_t>(i * 7);
    const SacnDataPacketBytes packet = BuildSacnDataPacket(kSender, 0xAB, kSacnOptionPreview, levels);
    Bytes cid(16, 0xC1);
    ExpectFields(packet,
                 {{0, {0x00, 0x10}},
                  {2, {0, 0}},
                  {4, kAcnId},
                  {16, {0x72, 0x6E}},
                  {18, {0, 0, 0, 4}},
                  {22, cid},
                  {38, {0x72, 0x58}},
                  {40, {0, 0, 0, 2}},
                  {44, {'s', 't', 'u', 'd', 'i', 'o', '-', 'p', 'c', ' ', 'V', 'a', 'n', 't', 'o', 'r', 0}},
                  {107, {0}},
                  {108, {150}},
                  {109, {0, 0}},
                  {111, {0xAB}},
                  {112, {0x80}},
                  {113, {0x12, 0x34}},
                  {115, {0x72, 0x0B}},
                  {117, {0x02}},
                  {118, {0xA1}},
                  {119, {0, 0}},
                  {121, {0, 1}},
                  {123, {0x02, 0x01}},
                  {125, {0}},
                  {126, {0, 7, 14}},
                  {637, {static_cast<std::uint8_t>(511 * 7)}}});
}

TEST(SacnPackets, StreamTerminatedAndDiscoveryPacketsHaveTheirFields) {
    SacnDataPacketBytes terminated{};
    const Bytes lastLevels{7, 0, 255};
    ASSERT_EQ(BuildSacnStreamTerminatedPacket(kSender, 9, lastLevels, terminated), 129u);
    ExpectFields(terminated,
                 {{111, {9}}, {112, {0x40}}, {113, {0x12, 0x34}}, {123, {0, 4}}, {126, lastLevels}});

    std::array<std::uint8_t, kSacnLongestDiscoveryBytes> out{};
    const std::array<std::uint16_t, 3> universes{700, 3, 0x1234};
    const std::size_t size = BuildSacnDiscoveryPacket(kSender, 0, 0, universes, out);
    ASSERT_EQ(size, 126u);
    ExpectFields(std::span(out).first(size), {{0, {0x00, 0x10}},
                                              {4, kAcnId},
                                              {16, {0x70, 110}},
                                              {18, {0, 0, 0, 8}},
                                              {22, Bytes(16, 0xC1)},
                                              {38, {0x70, 88}},
                                              {40, {0, 0, 0, 2}},
                                              {44, {'s'}},
                                              {108, {0, 0, 0, 0}},
                                              {112, {0x70, 14}},
                                              {114, {0, 0, 0, 1}},
                                              {118, {0, 0}},
                                              {120, {0, 3, 0x02, 0xBC, 0x12, 0x34}}});
}

TEST(SacnPackets, ValidPacketsParse) {
    struct Row {
        TestPacket packet;
        std::size_t slots;
    };
    for (const Row& row : std::vector<Row>{{{.level = 9}, 512},
                                           {{.slots = 0, .universe = 63999}, 0},
                                           {{.priority = 200, .slots = 24}, 24},
                                           {{.options = 0xE0, .syncAddress = 63999}, 512}}) {
        const Bytes datagram = Datagram(row.packet);
        SacnIgnored reason{};
        const std::optional<SacnDataPacket> packet = ParseSacnDataPacket(datagram, reason);
        ASSERT_TRUE(packet) << SacnIgnoredName(reason);
        EXPECT_EQ(packet->Slots.size(), row.slots);
        EXPECT_EQ(packet->Universe, row.packet.universe);
        EXPECT_EQ(packet->Priority, row.packet.priority);
        EXPECT_EQ(packet->Options, row.packet.options);
        EXPECT_EQ(packet->SyncAddress, row.packet.syncAddress);
        EXPECT_EQ(std::string(packet->SourceName.begin(), packet->SourceName.begin() + 5),
                  std::string("Desk\0", 5));
        if (row.slots) {
            EXPECT_EQ(packet->Slots[row.slots - 1], row.packet.level);
        }
    }
}

TEST(SacnPackets, EachRejectionHasItsReason) {
    struct Row {
        std::size_t offset;
        Bytes bytes;  // written at offset; none: the datagram is cut there
        SacnIgnored reason;
    };
    const std::vector<Row> rows{
        {125, {}, SacnIgnored::Size},
        {0, {0x00, 0x11}, SacnIgnored::PreambleSize},
        {2, {0x00, 0x01}, SacnIgnored::PostambleSize},
        {13, {'8'}, SacnIgnored::PacketId},
        {15, {1}, SacnIgnored::PacketId},
        {16, {0x62}, SacnIgnored::RootFlagsLength},
        {17, {0x6F}, SacnIgnored::RootFlagsLength},
        {21, {0x05}, SacnIgnored::RootVector},
        {21, {0x08}, SacnIgnored::Discovery},  // its framing vector, 2, is discovery's
        {38, {0x32}, SacnIgnored::FramingFlagsLength},
        {39, {0x59}, SacnIgnored::FramingFlagsLength},
        {43, {0x01}, SacnIgnored::FramingVector},
        {108, {201}, SacnIgnored::Priority},
        {113, {0, 0}, SacnIgnored::Universe},
        {113, {0xFA, 0x00}, SacnIgnored::Universe},
        {115, {0xF2}, SacnIgnored::DmpFlagsLength},
        {116, {0x0A}, SacnIgnored::DmpFlagsLength},
        {117, {0x01}, SacnIgnored::DmpVector},
        {118, {0xA2}, SacnIgnored::AddressType},
        {120, {1}, SacnIgnored::FirstAddress},
        {122, {2}, SacnIgnored::AddressIncrement},
        {124, {0}, SacnIgnored::PropertyCount},
    };
    for (const Row& row : rows) {
        Bytes datagram = Datagram({});
        if (row.bytes.empty())
            datagram.resize(row.offset);
        else
            std::copy(row.bytes.begin(), row.bytes.end(), datagram.begin() + row.offset);
        SacnIgnored reason{};
        EXPECT_FALSE(ParseSacnDataPacket(datagram, reason)) << "at " << row.offset;
        EXPECT_EQ(SacnIgnoredName(reason), SacnIgnoredName(row.reason)) << "at " << row.offset;
    }
    Bytes longer = Datagram({});
    longer.push_back(0);
    SacnIgnored reason{};
    EXPECT_FALSE(ParseSacnDataPacket(longer, reason));
    EXPECT_EQ(reason, SacnIgnored::Size);
    Bytes sync = Datagram({});  // root vector 8, framing vector 1, and a synchronisation packet's 49 bytes
    sync[kAtRootVector + 3] = 8;
    sync[kAtFramingVector + 3] = 1;
    sync.resize(49);
    EXPECT_FALSE(ParseSacnDataPacket(sync, reason));
    EXPECT_EQ(reason, SacnIgnored::Synchronization);
}

TEST(SacnPackets, SyncPacketsParseAndEachRejectionHasItsReason) {
    const auto packet = BuildSacnSyncPacket(CidOf(0xC1), 0xAB, 0x1234);
    const Bytes built(packet.begin(), packet.end());
    ExpectFields(built, {{0, {0x00, 0x10}},
                         {4, kAcnId},
                         {16, {0x70, 33}},
                         {18, {0, 0, 0, 8}},
                         {22, Bytes(16, 0xC1)},
                         {38, {0x70, 11}},
                         {40, {0, 0, 0, 1}},
                         {44, {0xAB, 0x12, 0x34, 0, 0}}});
    SacnIgnored reason{};
    const std::optional<SacnSyncPacket> sync = ParseSacnSyncPacket(built, reason);
    ASSERT_TRUE(sync) << SacnIgnoredName(reason);
    EXPECT_EQ(sync->Sequence, 0xAB);
    EXPECT_EQ(sync->Address, 0x1234);
    EXPECT_EQ(sync->Cid[15], 0xC1);
    const struct {
        std::size_t offset;
        Bytes bytes;  // written at offset; none: the datagram is cut there
        SacnIgnored reason;
    } rows[] = {
        {48, {}, SacnIgnored::Size},
        {0, {0x00, 0x11}, SacnIgnored::PreambleSize},
        {15, {1}, SacnIgnored::PacketId},
        {17, {32}, SacnIgnored::RootFlagsLength},
        {21, {0x04}, SacnIgnored::RootVector},
        {39, {12}, SacnIgnored::FramingFlagsLength},
        {43, {0x02}, SacnIgnored::FramingVector},
        {45, {0, 0}, SacnIgnored::Universe},
        {45, {0xFA, 0x00}, SacnIgnored::Universe},
    };
    for (const auto& row : rows) {
        Bytes datagram = built;
        if (row.bytes.empty())
            datagram.resize(row.offset);
        else
            std::copy(row.bytes.begin(), row.bytes.end(), datagram.begin() + row.offset);
        EXPECT_FALSE(ParseSacnSyncPacket(datagram, reason)) << "at " << row.offset;
        EXPECT_EQ(SacnIgnoredName(reason), SacnIgnoredName(row.reason)) << "at " << row.offset;
    }
    // A data packet is no synchronisation packet.
    EXPECT_FALSE(ParseSacnSyncPacket(Datagram({.slots = 0}), reason));
}

}  // namespace
