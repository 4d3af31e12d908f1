// Time of a full port scan ("Search") over ports 1 to 16, with no device, one widget, and a widget on every
// port. The scan holds the window's thread: 100 ms of blocking wait per port that opens.
//
//   bench/bench_link_scan

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_link_common.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"

int main(int argc, char** argv) {
    (void)argc;
    bench_link::HeadlessOnLoopback();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    std::printf("%-10s %10s %12s %8s\n", "widgets", "scan s", "thread CPU s", "listed");
    for (const int widgets : {0, 1, 16}) {
        std::vector<std::unique_ptr<prowidget::Simulator>> sims;
        std::string list;
        for (int port = 1; port <= widgets; ++port) {
            sims.push_back(std::make_unique<prowidget::Simulator>());
            list += (port > 1 ? "," : "") + sims.back()->DevicePath();
        }
        setenv("VANTOR_SERIAL_PORTS", list.c_str(), 1);
        Form1Window window(false);  // headless, as the plug-in builds it
        window.Load();
        Form1& form = window.Form();
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = bench_link::ThreadCpuSeconds();
        form.Command2.PerformClick();
        const double cpu = bench_link::ThreadCpuSeconds() - cpuStart;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        std::printf("%-10d %10.3f %12.3f %8zu\n", widgets, wall, cpu, form.DevList.Items().size());
    }
    return 0;
}
