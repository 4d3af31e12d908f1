// One complete firmware update against the simulated widget on a pseudo-terminal: wall time and the CPU time
// of the window's thread (the simulator runs on a thread of its own and is not counted). With a slow widget
// the update spends seconds waiting for acknowledgements, and that wait should cost next to no CPU.
//
//   bench/bench_firmware_update [reply delay ms | silent ...]     (default: 0 20 100 silent)
//
// "silent": the widget never answers page 1, so both attempts wait out their ten-second time-out.

#include <time.h>

#include <unistd.h>
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"

namespace {

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string WriteImage() {
    char path[] = "/tmp/vantor-bench-fw-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    close(fd);
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 6144; ++i) out.put(static_cast<char>(i * 7));
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VANTOR_HEADLESS", "1", 0);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    constexpr int kSilent = -1;
    std::vector<int> delays;
    for (int i = 1; i < argc; ++i)
        delays.push_back(std::string(argv[i]) == "silent" ? kSilent : std::atoi(argv[i]));
    if (delays.empty()) delays = {0, 20, 100, kSilent};

    const std::string image = WriteImage();
    std::printf("%-16s %10s %12s %14s %8s\n", "reply delay ms", "wall s", "thread CPU s", "CPU / wall %",
                "result");
    for (int delay : delays) {
        prowidget::Simulator sim;
        if (delay == kSilent)
            sim.SetPageAnswer(1, prowidget::PageAnswer::Silent);
        else
            sim.SetReplyDelay(std::chrono::milliseconds(delay));
        setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        Form1Window window(false);  // headless, as the plug-in builds it
        Form1& form = window.Form();
        form.prowidget.InitWidgetPackets();
        form.MSComm1.SetCommPort(1);
        form.MSComm1.SetPortOpen(true);

        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = ThreadCpuSeconds();
        const bool updated = form.UpdateFirmwareFromFile(image);
        const double cpu = ThreadCpuSeconds() - cpuStart;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        const bool asExpected = delay == kSilent ? !updated : updated && sim.PagesReceived() == 96;
        const std::string label = delay == kSilent ? "silent" : std::to_string(delay);
        std::printf("%-16s %10.3f %12.3f %14.2f %8s\n", label.c_str(), wall, cpu, 100.0 * cpu / wall,
                    asExpected ? "ok" : "UNEXPECTED");
    }
    std::remove(image.c_str());
    return 0;
}
