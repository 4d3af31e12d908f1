#include <gtest/gtest.h>

#include "frame_codec.h"
#include "prowidget_sim.h"
#include "pty_peer.h"

namespace prowidget {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::PtyPeer;
using testing::ReceivedFrame;

constexpr auto kGenerous = 3000ms;
const Bytes kReprogram = {0x7E, 0x01, 0x00, 0x00, 0xE7};
const ReceivedFrame kTrue{2, {'T', 'R', 'U', 'E'}};
const ReceivedFrame kFals{2, {'F', 'A', 'L', 'S'}};

Bytes Image() {
    Bytes image(Simulator::kSessionPages * kSimPageBytes);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>((i * 31 + i / 256) & 0xFF);
    return image;
}

Bytes Page(const Bytes& image, int page) {
    auto begin = image.begin() + static_cast<std::ptrdiff_t>((page - 1) * kSimPageBytes);
    return BuildFrame(2, Bytes(begin, begin + kSimPageBytes));
}

// Sends pages one at a time, each after the previous answer, as the firmware update does; stops at the first
// page not answered TRUE. Returns the answers.
std::vector<ReceivedFrame> Flash(PtyPeer& peer, const Bytes& image) {
    std::vector<ReceivedFrame> answers;
    peer.Write(kReprogram);
    for (int page = 1; page <= Simulator::kSessionPages; ++page) {
        peer.Write(Page(image, page));
        auto frames = peer.ReadFrames(1, page == 1 ? kGenerous : 1000ms);
        if (frames.empty()) break;
        answers.push_back(frames[0]);
        if (frames[0] != kTrue) break;
    }
    return answers;
}

TEST(SimulatorFlash, AllPagesAcknowledgedAndTheImageKept) {
    Simulator sim;
    PtyPeer peer(sim.DevicePath());
    auto answers = Flash(peer, Image());
    EXPECT_EQ(answers, std::vector<ReceivedFrame>(Simulator::kSessionPages, kTrue));
    EXPECT_EQ(sim.FlashedImage(), Image());
    EXPECT_EQ(sim.PagesReceived(), static_cast<std::size_t>(Simulator::kSessionPages));
    EXPECT_EQ(sim.ReprogramRequests(), 1u);
    EXPECT_FALSE(sim.InProgrammer());
}

TEST(SimulatorFlash, ChosenPageIsRefusedOrLeftUnanswered) {
    struct Row {
        const char* name;
        int page;
        PageAnswer answer;
        std::size_t answers;
        std::optional<ReceivedFrame> lastAnswer;
    };
    const Row rows[] = {
        {"refused page 5", 5, PageAnswer::False, 5, kFals},
        {"silent on page 5", 5, PageAnswer::Silent, 4, kTrue},
        {"refused first page", 1, PageAnswer::False, 1, kFals},
        {"refused last page", 96, PageAnswer::False, 96, kFals},
    };
    for (const auto& row : rows) {
        Simulator sim;
        sim.SetPageAnswer(row.page, row.answer);
        PtyPeer peer(sim.DevicePath());
        for (int attempt = 1; attempt <= 2; ++attempt) {
            auto answers = Flash(peer, Image());
            EXPECT_EQ(answers.size(), row.answers) << row.name << " attempt " << attempt;
            ASSERT_FALSE(answers.empty()) << row.name;
            EXPECT_EQ(answers.back(), row.lastAnswer) << row.name;
            EXPECT_EQ(sim.FlashedImage().size(), (row.page - 1) * kSimPageBytes) << row.name;
            EXPECT_EQ(sim.PagesReceived(), static_cast<std::size_t>(row.page)) << row.name;
        }
        EXPECT_EQ(sim.ReprogramRequests(), 2u) << row.name;
    }
}

TEST(SimulatorFlash, PageRefusedOnceSucceedsOnTheSecondAttempt) {
    Simulator sim;
    sim.SetPageAnswerOnce(5, PageAnswer::False);
    PtyPeer peer(sim.DevicePath());
    EXPECT_EQ(Flash(peer, Image()).back(), kFals);
    EXPECT_EQ(Flash(peer, Image()), std::vector<ReceivedFrame>(Simulator::kSessionPages, kTrue));
    EXPECT_EQ(sim.FlashedImage(), Image());
}

TEST(SimulatorFlash, ExtraAnswersFollowTheReprogramRequestOrThePageChosen) {
    struct Row {
        const char* name;
        std::function<void(Simulator&)> fault;
        int pagesSent;
        std::size_t answers;
    };
    const Row rows[] = {
        {"stray answer", [](Simulator& sim) { sim.SetStrayAnswer(true); }, 0, 1},
        {"page 1 answered twice", [](Simulator& sim) { sim.SetPageAnswer(1, PageAnswer::Twice); }, 1, 2},
    };
    for (const auto& row : rows) {
        Simulator sim;
        row.fault(sim);
        PtyPeer peer(sim.DevicePath());
        peer.Write(kReprogram);
        if (row.pagesSent > 0) peer.Write(Page(Image(), 1));
        EXPECT_EQ(peer.ReadFrames(row.answers + 1, 300ms), std::vector<ReceivedFrame>(row.answers, kTrue))
            << row.name;
    }
}

TEST(SimulatorFlash, PageOutsideAProgrammingSessionOrOfWrongSizeIsRefused) {
    struct Row {
        const char* name;
        Bytes before;
        Bytes page;
    };
    const Bytes image = Image();
    const Row rows[] = {
        {"no reprogram request", {}, Page(image, 1)},
        {"short page", kReprogram, BuildFrame(2, Bytes(63, 1))},
        {"long page", kReprogram, BuildFrame(2, Bytes(65, 1))},
    };
    for (const auto& row : rows) {
        Simulator sim;
        PtyPeer peer(sim.DevicePath());
        peer.Write(row.before);
        peer.Write(row.page);
        auto frames = peer.ReadFrames(1, kGenerous);
        ASSERT_EQ(frames.size(), 1u) << row.name;
        EXPECT_EQ(frames[0], kFals) << row.name;
        EXPECT_TRUE(sim.FlashedImage().empty()) << row.name;
    }
}

TEST(SimulatorFlash, ParametersAreStillAnsweredAfterAnUpdate) {
    Simulator sim;
    PtyPeer peer(sim.DevicePath());
    ASSERT_EQ(Flash(peer, Image()).size(), static_cast<std::size_t>(Simulator::kSessionPages));
    peer.Write({0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7});
    auto frames = peer.ReadFrames(1, kGenerous);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].label, 3);
}

}  // namespace
}  // namespace prowidget
