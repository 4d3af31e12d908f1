// Receive mode: received-DMX frames forwarded as ArtDmx per second against the rate at which the simulated
// widget reports them, with the reports whole and written in 64-byte pieces. The node sends on lo only; run
// it inside `unshare -n`.
//
//   bench/bench_link_receive [seconds per rate] [rate ...]     (default 3 s; 40 100 250 500 1000)
//
// "lost" is reports sent minus frames forwarded over the whole run; "dropped" is reports the simulator
// skipped because more than its backlog limit was still unread on the plug-in side (a device does not queue).

#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_link_common.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"

int main(int argc, char** argv) {
    bench_link::HeadlessOnLoopback();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
    std::vector<double> rates;
    for (int i = 2; i < argc; ++i) rates.push_back(std::atof(argv[i]));
    if (rates.empty()) rates = {40, 100, 250, 500, 1000};

    std::printf("%-12s %-8s %12s %12s %12s %10s %12s\n", "rate /s", "pieces", "reported/s", "forwarded/s",
                "lost", "dropped", "thread CPU %");
    for (const double rate : rates) {
        for (const std::size_t pieces : {std::size_t{0}, std::size_t{64}}) {
            prowidget::Simulator sim;
            setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
            Form1Window window(false);  // headless, as the plug-in builds it
            window.Load();
            Form1& form = window.Form();
            form.SelectPort(1);
            if (!FromVBool(form.LinkOpen)) {
                std::printf("port 1 did not open\n");
                return 1;
            }
            long forwarded = 0;
            form.prowidget.SetDmxForwarder([&form] { return !FromVBool(form.SendMode); },
                                           [&](std::span<const std::uint8_t, kLevelCount> levels) {
                                               ++forwarded;
                                               form.artnet.SendArtDmx(
                                                   static_cast<std::uint8_t>(form.ArtUniv.Value()), levels);
                                           });
            sim.SetSplitWrites(pieces, std::chrono::microseconds(50));
            sim.SetReportRate(rate);
            form.Command1.PerformClick();
            QtEventLoop::RunFor(200);  // into receive mode
            const std::size_t sentBefore = sim.ReportsSent();
            const long forwardedBefore = forwarded;
            const auto wallStart = std::chrono::steady_clock::now();
            const double cpuStart = bench_link::ThreadCpuSeconds();
            QtEventLoop::RunFor(seconds * 1000);
            sim.SetReportRate(0);
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
            const double cpu = bench_link::ThreadCpuSeconds() - cpuStart;
            const std::size_t sent = sim.ReportsSent() - sentBefore;
            const long got = forwarded - forwardedBefore;
            QtEventLoop::RunFor(300);  // what is still on its way
            // Lost counts over the whole run, so that a frame in flight at a window edge is not miscounted.
            const long lost = static_cast<long>(sim.ReportsSent()) - forwarded;
            std::printf("%-12.0f %-8zu %12.1f %12.1f %12ld %10zu %12.1f\n", rate, pieces, sent / wall,
                        got / wall, lost, sim.ReportsDropped(), 100.0 * cpu / wall);
        }
    }
    return 0;
}
