// A firmware update against a widget whose answers the fuzz input chooses, page by page: one "TRUE", a
// refusal, two answers, none, a reply of another kind first, each after its own delay, and perhaps a stray
// answer after the reprogram request, all on a virtual clock. Besides memory errors it looks for logic
// faults: an update reported written unless exactly one "TRUE" came for each page, after that page went out,
// and no answer more, or reported before a short drain after the last answer; a widget that answers every
// page once with "TRUE" not flashed; a status line or message that does not tell the outcome.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "support/fakes.h"
#include "widget/firmware_fakes.h"
#include "widget/firmware_temp_file.h"
#include "widget/firmware_update.h"

namespace {

enum class Kind { True, False, Twice, Silent, OtherFirst };

// The widget's programmer as the input scripts it. Every page write and every page answer that reaches the
// port gets a place in one sequence, so that an answer can be told to have come after its page.
struct ScriptedProgrammer {
    ScriptedProgrammer(FakeSerialPort& port, VirtualClock& clock, FuzzedDataProvider& in)
        : port_(port), clock_(clock), in_(in) {
        port_.onWrite = [this](const Bytes& written) {
            if (written.size() >= 5 && written[1] == 1) Reprogrammed();
            if (written.size() >= 5 && written[1] == 2) Page();
        };
    }

    void Reprogrammed() {
        ++reprogramRequests;
        if (in_.ConsumeIntegralInRange(0, 3) < 3) return;
        Answer(in_.ConsumeIntegralInRange(0, 300), "TRUE");
        perfect = false;
    }
    void Page() {
        static constexpr Kind kKinds[] = {Kind::True,  Kind::True,  Kind::True,   Kind::True,
                                          Kind::False, Kind::Twice, Kind::Silent, Kind::OtherFirst};
        pageWrites.push_back(++sequence_);
        const Kind kind = kKinds[in_.ConsumeIntegralInRange(0, 7)];
        const int delay = in_.ConsumeIntegralInRange(0, 300);
        switch (kind) {
            case Kind::True:
                Answer(delay, "TRUE");
                break;
            case Kind::False:
                Answer(delay, "FALS");
                perfect = false;
                break;
            case Kind::Twice:
                Answer(delay, "TRUE");
                Answer(delay + in_.ConsumeIntegralInRange(0, 300), "TRUE");
                perfect = false;
                break;
            case Kind::Silent:
                perfect = false;
                break;
            case Kind::OtherFirst:
                clock_.After(delay, [this] { port_.Receive(WidgetFrame(3, {44, 2, 9, 1, 40})); });
                Answer(delay, "TRUE");
                break;
        }
    }
    void Answer(int delay, const char* text) {
        clock_.After(delay, [this, text] {
            answers.push_back({++sequence_, std::string(text) == "TRUE", clock_.now});
            port_.Receive(FakeProgrammer::PageAnswer(text));
        });
    }

    struct Delivered {
        long sequence;
        bool readsTrue;
        long atMs;
    };
    int reprogramRequests = 0;
    std::vector<long> pageWrites;
    std::vector<Delivered> answers;
    bool perfect = true;  // every page answered once, "TRUE", and no stray answer

private:
    FakeSerialPort& port_;
    VirtualClock& clock_;
    FuzzedDataProvider& in_;
    long sequence_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TempFirmware image(FirmwareBytes(kFirmwareImageBytes));
    FuzzedDataProvider in(data, size);
    FakeSerialPort port;
    port.open = true;
    RecordingMessageBox box;
    ProWidget widget(port, box);
    widget.InitWidgetPackets();
    VirtualClock clock;
    ClockedWindow window(clock);
    ScriptedProgrammer programmer(port, clock, in);
    const FirmwareAttempt outcome = UpdateFirmware(widget, window, image.Path());

    FUZZ_CHECK(outcome != FirmwareAttempt::UnusableFile);
    FUZZ_CHECK(programmer.reprogramRequests == 1);
    FUZZ_CHECK(box.shown.empty());
    if (outcome == FirmwareAttempt::Updated) {
        // A page counts as written only by its own "TRUE": one for each, after it went out, none more.
        FUZZ_CHECK(programmer.pageWrites.size() == static_cast<std::size_t>(kFirmwarePages));
        FUZZ_CHECK(programmer.answers.size() == programmer.pageWrites.size());
        for (std::size_t page = 0; page < programmer.answers.size(); ++page) {
            FUZZ_CHECK(programmer.answers[page].readsTrue);
            FUZZ_CHECK(programmer.answers[page].sequence > programmer.pageWrites[page]);
        }
        // No success is told sooner than the shortest drain after the last answer, in which an answer still
        // to come is seen.
        FUZZ_CHECK(clock.now >= programmer.answers.back().atMs + 20);
        FUZZ_CHECK(window.messages == std::vector<std::string>{kFirmwareUpdatedText});
        FUZZ_CHECK(window.status == kFirmwareSuccessText);
    } else {
        FUZZ_CHECK(!programmer.perfect);
        // One dot per page accepted, then an "x" unless the wait ran out.
        const bool timedOut = window.messages == std::vector<std::string>{kTimeoutText};
        FUZZ_CHECK(timedOut || window.messages.empty());
        const std::size_t dots = std::min(window.status.find_first_not_of('.'), window.status.size());
        FUZZ_CHECK(window.status == std::string(dots, '.') + (timedOut ? "" : "x"));
        FUZZ_CHECK(dots <= programmer.pageWrites.size());
    }
    return 0;
}
