// The sACN receiver on a sequence of datagrams (arbitrary ones and built ones from ten sources, some with a
// byte changed) and clock ticks, over a clock that jumps. Beside memory errors it checks that the levels
// change only through a valid data packet of the chosen universe (or a source leaving), that they are the
// merge of the active sources as a model of the rules computes it, and that at most 8 sources are held.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "fuzz_check.h"
#include "sacn/sacn_fixture.h"
#include "sacn/sacn_receiver.h"

namespace {

using Levels = std::array<std::uint8_t, kSacnSlots>;

// The rules written plainly, reading the fields by their offsets in the datagram.
struct Model {
    struct Source {
        Bytes cid;
        std::uint8_t priority;
        std::uint8_t sequence;
        long long lastMs;
        Levels levels{};
    };

    std::uint16_t universe;
    std::vector<Source> sources;
    Levels output{};

    void Expire(long long nowMs) {
        std::erase_if(sources, [nowMs](const Source& s) { return nowMs - s.lastMs >= 2500; });
        Merge();
    }

    void Merge() {
        if (sources.empty()) return;
        int top = -1;
        for (const Source& s : sources) top = std::max(top, int{s.priority});
        output.fill(0);
        for (const Source& s : sources)
            if (s.priority == top)
                for (std::size_t i = 0; i < kSacnSlots; ++i) output[i] = std::max(output[i], s.levels[i]);
    }

    // Called for a datagram the parser takes.
    void Apply(const Bytes& d, long long nowMs) {
        if ((d[113] << 8 | d[114]) != universe || (d[112] & 0x80)) return;
        const Bytes cid(d.begin() + 22, d.begin() + 38);
        auto source =
            std::find_if(sources.begin(), sources.end(), [&](const Source& s) { return s.cid == cid; });
        if (source != sources.end()) {
            const int behind = static_cast<std::int8_t>(d[111] - source->sequence);
            if (behind <= 0 && behind > -20) return;
        }
        if (d[112] & 0x40) {
            if (source != sources.end()) sources.erase(source);
        } else if (d[125] != 0) {
            if (source != sources.end()) {
                source->sequence = d[111];
                source->lastMs = nowMs;
            }
        } else {
            if (source == sources.end() && sources.size() < 8) {
                sources.push_back({cid, 0, 0, 0});
                source = sources.end() - 1;
            } else if (source == sources.end()) {
                // Full: the lowest priority, silent the longest, gives way to a higher one.
                source =
                    std::min_element(sources.begin(), sources.end(), [](const Source& a, const Source& b) {
                        return a.priority != b.priority ? a.priority < b.priority : a.lastMs < b.lastMs;
                    });
                if (source->priority >= d[108]) return;
                *source = {cid, 0, 0, 0};
            }
            source->priority = d[108];
            source->sequence = d[111];
            source->lastMs = nowMs;
            std::copy(d.begin() + 126, d.end(), source->levels.begin());
        }
        Merge();
    }
};

Bytes BuiltDatagram(FuzzedDataProvider& input) {
    TestPacket packet;
    packet.source = input.ConsumeIntegralInRange<std::uint8_t>(0, 9);
    packet.priority = input.ConsumeIntegral<std::uint8_t>();
    packet.sequence = input.ConsumeIntegral<std::uint8_t>();
    packet.options = input.ConsumeIntegral<std::uint8_t>();
    packet.universe = static_cast<std::uint16_t>(1 + input.ConsumeIntegralInRange<int>(0, 2));
    packet.slots = input.ConsumeIntegralInRange<std::size_t>(0, kSacnSlots);
    packet.startCode = input.ConsumeBool() ? 0xDD : 0;
    const std::uint8_t base = input.ConsumeIntegral<std::uint8_t>();
    for (std::size_t i = 0; i < kSacnSlots; ++i)
        packet.levels.push_back(static_cast<std::uint8_t>(base * (i % 7)));
    Bytes datagram = Datagram(packet);
    if (input.ConsumeBool()) {
        const std::size_t at = input.ConsumeIntegralInRange<std::size_t>(0, datagram.size() - 1);
        datagram[at] = input.ConsumeIntegral<std::uint8_t>();
    }
    return datagram;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Model model{static_cast<std::uint16_t>(1 + input.ConsumeIntegralInRange<int>(0, 2)), {}, {}};
    SacnReceiver receiver(model.universe);
    long long nowMs = 0;
    while (input.remaining_bytes() > 0) {
        nowMs += input.ConsumeIntegralInRange<int>(0, 3000);
        const SacnReceiver::TimePoint now = SacnReceiver::TimePoint{} + std::chrono::milliseconds(nowMs);
        const Levels before = receiver.Levels();
        const int kind = input.ConsumeIntegralInRange<int>(0, 2);
        model.Expire(nowMs);
        bool changed = false;
        if (kind == 0) {
            changed = receiver.Tick(now);
        } else {
            const Bytes datagram =
                kind == 1
                    ? input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 700))
                    : BuiltDatagram(input);
            const Levels afterExpiry = model.output;
            changed = receiver.Receive(datagram, now);
            SacnIgnored reason{};
            if (ParseSacnDataPacket(datagram, reason)) {
                if ((datagram[113] << 8 | datagram[114]) != model.universe)
                    FUZZ_CHECK(receiver.Levels() == afterExpiry);
                model.Apply(datagram, nowMs);
            } else {
                FUZZ_CHECK(receiver.Levels() == afterExpiry);
            }
        }
        FUZZ_CHECK(changed == (before != receiver.Levels()));
        FUZZ_CHECK(receiver.Levels() == model.output);
        FUZZ_CHECK(receiver.Sources().size() <= SacnReceiver::kMaxSources);
        FUZZ_CHECK(receiver.Sources().size() == model.sources.size());
        const std::optional<std::size_t> winner = receiver.Winner();
        FUZZ_CHECK(winner.has_value() == !model.sources.empty());
        if (winner) {
            int top = 0;
            std::size_t atTop = 0;
            for (const auto& s : model.sources) top = std::max(top, int{s.priority});
            for (const auto& s : model.sources) atTop += s.priority == top;
            FUZZ_CHECK(receiver.Sources()[*winner].Priority == top);
            FUZZ_CHECK(receiver.Merging() == (atTop > 1));
        }
    }
    return 0;
}
