// The window's receive poll on a port that returns the fuzz input in pieces, at chosen times, in either
// bridge mode, with the device perhaps vanishing midway. Besides memory errors it looks for logic faults: the
// poll never writes to the widget and shows nothing; received DMX leaves only in receive mode, as whole
// 530-byte ArtDmx packets of the selected universe, and only from a good report of start code 0 levels;
// records change only for frames of their label; a vanished device costs one message and the link.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "fuzz_check.h"
#include "support/fakes.h"
#include "support/widget_frames.h"
#include "window/form1.h"

namespace {

// True when the stream holds a frame head of that label anywhere.
bool MayHoldLabel(const Bytes& stream, std::uint8_t label) {
    for (std::size_t at = 0; at + 1 < stream.size(); ++at)
        if (stream[at] == 0x7E && stream[at + 1] == label) return true;
    return false;
}

// True when the ArtDmx's first levels are those of a good start code 0 report somewhere in the stream (a
// report of fewer levels leaves the rest as they were).
bool CarriesAGoodReport(const Bytes& stream, const Bytes& artDmx) {
    for (std::size_t at = 0; at + 7 < stream.size(); ++at) {
        if (stream[at] != 0x7E || stream[at + 1] != 5) continue;
        const std::size_t length = stream[at + 2] | (stream[at + 3] << 8);
        if (length < 3 || at + 4 + length >= stream.size() || stream[at + 4 + length] != 0xE7) continue;
        if (stream[at + 4] != 0 || stream[at + 5] != 0) continue;
        const std::size_t levels = std::min<std::size_t>(length - 2, 512);
        if (std::equal(stream.begin() + at + 6, stream.begin() + at + 6 + levels, artDmx.begin() + 18))
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    FakeSerialPort port;
    FakeUdpSocket socket;
    socket.localIp = "10.0.0.1";
    RecordingMessageBox box;
    FakeEventLoop events;
    Form1 form(WindowServices{port, socket, box, events, nullptr, {}, "", "."});
    form.prowidget.InitWidgetPackets();
    form.artnet.StartArtNetNode();
    port.open = true;
    form.LinkOpen = kTrue;
    form.SendMode = in.ConsumeBool() ? kTrue : kFalse;
    form.ArtUniv.SetValue(in.ConsumeIntegral<std::uint8_t>());
    const Bytes parametersBefore = BytesOf(form.prowidget.WidgetParameters);
    const Bytes dmxBefore = BytesOf(form.prowidget.ReceivedDmx);

    Bytes stream;
    bool vanished = false;
    while (in.remaining_bytes() > 0) {
        events.now += std::chrono::milliseconds(in.ConsumeIntegralInRange(0, 150));
        if (!vanished && in.ConsumeIntegralInRange(0, 63) == 0) vanished = port.vanished = true;
        const Bytes piece = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 700));
        if (!vanished) stream.insert(stream.end(), piece.begin(), piece.end());
        port.Receive(piece);
        form.Timer1.Fire();
    }
    for (int idle = 0; idle < 8; ++idle) {
        events.now += std::chrono::milliseconds(100);
        form.Timer1.Fire();
    }

    FUZZ_CHECK(port.writes.empty());
    FUZZ_CHECK(box.shown.size() == (vanished ? 1u : 0u));
    FUZZ_CHECK(FromVBool(form.LinkOpen) == !vanished);
    const std::uint8_t status = form.prowidget.ReplyStatus;
    FUZZ_CHECK(status <= 5 || status == 255);
    if (!MayHoldLabel(stream, 3)) FUZZ_CHECK(BytesOf(form.prowidget.WidgetParameters) == parametersBefore);
    if (!MayHoldLabel(stream, 5)) FUZZ_CHECK(BytesOf(form.prowidget.ReceivedDmx) == dmxBefore);
    if (FromVBool(form.SendMode)) FUZZ_CHECK(socket.sent.empty());
    for (const auto& sent : socket.sent) {
        FUZZ_CHECK(sent.bytes.size() == 530);
        FUZZ_CHECK(std::memcmp(sent.bytes.data(), "Art-Net\0\0\x50", 10) == 0);
        FUZZ_CHECK(sent.bytes[14] == form.ArtUniv.Value() && sent.bytes[15] == 0);
    }
    for (const auto& sent : socket.sent) FUZZ_CHECK(CarriesAGoodReport(stream, sent.bytes));
    return 0;
}
