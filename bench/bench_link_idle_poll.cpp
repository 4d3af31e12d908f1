// The cost of the receive poll with nothing arriving: CPU time of the window's thread over 10 s, once with no
// port open and once with an idle widget open on port 1 (the simulator runs on its own thread and is not
// counted), and how often the poll ticked (it ticks when the port has input, so about never here). Run it
// inside `unshare -n` (the Art-Net node starts, on lo).
//
//   bench/bench_link_idle_poll [seconds]     (default 10)

#include <chrono>
#include <cstdio>
#include <string>

#include "bench_link_common.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"

int main(int argc, char** argv) {
    bench_link::HeadlessOnLoopback();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    std::printf("%-22s %8s %12s %12s %12s\n", "case", "wall s", "thread CPU s", "CPU / wall %",
                "poll ticks/s");
    for (const bool portOpen : {false, true}) {
        prowidget::Simulator sim;
        setenv("VANTOR_SERIAL_PORTS", portOpen ? sim.DevicePath().c_str() : "", 1);
        Form1Window window(false);  // headless, as the plug-in builds it
        window.Load();
        Form1& form = window.Form();
        if (portOpen) form.SelectPort(1);
        if (portOpen != FromVBool(form.LinkOpen)) {
            std::printf("could not set up the case\n");
            return 1;
        }
        long ticks = 0;
        auto poll = form.Timer1.Tick;
        form.Timer1.Tick = [&] {
            ++ticks;
            poll();
        };
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = bench_link::ThreadCpuSeconds();
        QtEventLoop::RunFor(seconds * 1000);
        const double cpu = bench_link::ThreadCpuSeconds() - cpuStart;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        std::printf("%-22s %8.2f %12.3f %12.2f %12.0f\n", portOpen ? "idle widget open" : "no port open",
                    wall, cpu, 100.0 * cpu / wall, ticks / wall);
    }
    return 0;
}
