// The C interface's look into the running bridge, for hosts that show or supervise it.

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "c_status.h"
#include "linux_plugin.h"
#include "platform/qt/form1_window.h"
#include "window_actions.h"

namespace {

template <std::size_t Size>
void CopyText(char (&field)[Size], const std::string& text) {
    const std::size_t length = std::min(text.size(), Size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// A record the host allocates, led by the size it has room for: the plug-in writes no more than that, and
// says how much it wrote, so that an older host's smaller record still works.
template <typename Record, typename Fill>
void FillSizedRecord(Record* target, const char* argument, const char* type, Fill&& fill) {
    if (!target) throw std::invalid_argument(std::string("Missing argument: ") + argument);
    if (target->size < sizeof target->size)
        throw std::invalid_argument(std::string(type) + " size " + std::to_string(target->size) +
                                    " does not hold its size field");
    Record out{};
    fill(out);
    out.size = static_cast<uint32_t>(std::min<std::size_t>(target->size, sizeof out));
    std::memcpy(target, &out, out.size);
}

}  // namespace

extern "C" {

vantor_status vantor_search_ports(void) {
    return Guarded([] { ThePlugin().Window().Form().Command2.PerformClick(); });
}

vantor_status vantor_search_port(int32_t port) {
    return Guarded([&] { ThePlugin().Window().Form().SearchPort(port); });
}

vantor_status vantor_get_port_report(int32_t port, vantor_port_report* report) {
    return Guarded([&] {
        if (!report) throw std::invalid_argument("Missing argument: report");
        if (port < 1 || port > kPortCount)
            throw std::out_of_range("Port " + std::to_string(port) + " is outside 1 to " +
                                    std::to_string(kPortCount));
        const Form1& form = ThePlugin().Window().Form();
        const auto index = static_cast<std::size_t>(port);
        vantor_port_report out{};
        CopyText(out.device, QtSerialPort::DevicePathOf(port));
        out.opened = form.PortOpened[index];
        if (const auto& reply = form.ScanReplies[index]) {
            out.answered = VANTOR_TRUE;
            out.firmware_msb = reply->Msb;
            out.firmware_lsb = reply->Lsb;
        }
        *report = out;
    });
}

vantor_status vantor_get_bridge_status(vantor_bridge_status* status) {
    return Guarded([&] {
        if (!status) throw std::invalid_argument("Missing argument: status");
        Form1Window& window = QtWindow();
        Form1& form = window.Form();
        vantor_bridge_status out{};
        out.port = form.MSComm1.CommPort();
        out.port_open = ToVBool(form.MSComm1.PortOpen());
        out.link_open = form.LinkOpen;
        out.send_mode = form.SendMode;
        out.output_enabled = ToVBool(form.timOutput.Enabled());
        out.universe = form.bridge.Universe();
        out.messages = window.Messages().ShownCount();
        out.output_frames = form.prowidget.OutputPacketsSent;
        out.artdmx_in = form.artnet.ArtDmxReceived;
        out.artdmx_out = form.artnet.ArtDmxSent;
        CopyText(out.status_text, form.StatusBar1.SimpleText());
        CopyText(out.last_message, window.Messages().LastText());
        *status = out;
    });
}

vantor_status vantor_get_receive_counts(vantor_receive_counts* counts) {
    return Guarded([&] {
        FillSizedRecord(counts, "counts", "vantor_receive_counts", [](vantor_receive_counts& out) {
            const DroppedDmxReports& dropped = ThePlugin().Window().Form().prowidget.DroppedReports;
            out.faulty = dropped.faulty;
            out.not_start_code_0 = dropped.notStartCodeZero;
            out.no_levels = dropped.noLevels;
        });
    });
}

vantor_status vantor_get_drop_counts(vantor_drop_counts* counts) {
    return Guarded([&] {
        FillSizedRecord(counts, "counts", "vantor_drop_counts", [](vantor_drop_counts& out) {
            Form1Window& window = QtWindow();
            out.artdmx_while_sacn = window.Form().artnet.ArtDmxIgnoredForSacn;
            out.artnet_other_interface = window.ArtNetUdp().OtherInterfaceDrops();
            out.sacn_other_interface = window.SacnUdp().OtherInterfaceDrops();
        });
    });
}

vantor_status vantor_get_sacn_status(vantor_sacn_status* status) {
    return Guarded([&] {
        FillSizedRecord(status, "status", "vantor_sacn_status", [](vantor_sacn_status& out) {
            const SacnBridge& sacn = SacnSide(ThePlugin());
            const SacnReceiver& receiver = sacn.Receiver();
            out.protocol = ChosenProtocol(ThePlugin()) == BridgeProtocol::Sacn ? VANTOR_PROTOCOL_SACN
                                                                               : VANTOR_PROTOCOL_ARTNET;
            out.universe = receiver.Universe();
            out.priority = sacn.Priority();
            const auto winner = receiver.Winner();
            out.winner = winner ? static_cast<int32_t>(*winner) : -1;
            out.merging = ToVBool(receiver.Merging());
            const auto sources = receiver.Sources();
            static_assert(SacnReceiver::kMaxSources <= VANTOR_SACN_MAX_SOURCES);
            out.source_count = static_cast<uint32_t>(sources.size());
            for (std::size_t index = 0; index < sources.size(); ++index) {
                vantor_sacn_source& source = out.sources[index];
                CopyText(source.name, std::string(sources[index].Name()));
                std::memcpy(source.cid, sources[index].Cid.data(), sizeof source.cid);
                source.priority = sources[index].Priority;
                source.packets_per_second = sources[index].PacketsPerSecond;
                source.packets = sources[index].Packets;
            }
            out.frames = sacn.FramesSent;
            static_assert(kSacnIgnoredReasons <= VANTOR_SACN_MAX_IGNORED_REASONS);
            out.ignored_reasons = kSacnIgnoredReasons;
            for (std::size_t reason = 0; reason < kSacnIgnoredReasons; ++reason)
                out.ignored[reason] = receiver.Ignored(static_cast<SacnIgnored>(reason));
        });
    });
}

const char* vantor_sacn_ignored_name(int32_t reason) {
    if (reason < 0 || static_cast<std::size_t>(reason) >= kSacnIgnoredReasons) return "";
    // Names are views of string literals, so each ends with a NUL.
    return SacnIgnoredName(static_cast<SacnIgnored>(reason)).data();
}

vantor_status vantor_set_status_listener(vantor_status_listener listener, void* context) {
    return Guarded([&] {
        StatusBar& bar = ThePlugin().Window().Form().StatusBar1;
        if (!listener) {
            bar.TextChanged = nullptr;
            return;
        }
        bar.TextChanged = [listener, context](const std::string& text) { listener(context, text.c_str()); };
    });
}

}  // extern "C"
