// Output pump rate: the plug-in, loaded through its C interface, sends to the simulated widget on port 1 with
// output enabled; the widget's arrival times give frames per second and the spread of the frame intervals.
//
//   unshare -n bash -c 'ip link set lo up; build/bench/bench_output_pump [--seconds S] [--plugin PATH]'

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "prowidget_sim.h"
#include "vantor_out.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kOutputLabel = 6;

template <typename Function>
Function Resolve(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol) throw std::runtime_error(std::string("missing ") + name);
    return reinterpret_cast<Function>(symbol);
}

void Check(vantor_status status, const char* what) {
    if (status != VANTOR_S_OK) throw std::runtime_error(std::string(what) + " failed");
}

double Percentile(const std::vector<double>& sorted, double fraction) {
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

int Run(double seconds, std::string pluginPath) {
    setenv("VANTOR_HEADLESS", "1", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("VANTOR_ARTNET_INTERFACE", "lo", 0);
    prowidget::Simulator widget;
    setenv("VANTOR_SERIAL_PORTS", widget.DevicePath().c_str(), 1);

    void* library = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(dlerror());
    auto create = Resolve<decltype(&vantor_driver_create)>(library, "vantor_driver_create");
    auto init = Resolve<decltype(&vantor_init)>(library, "vantor_init");
    auto selectPort = Resolve<decltype(&vantor_select_port)>(library, "vantor_select_port");
    auto setChannel = Resolve<decltype(&vantor_SetChannel)>(library, "vantor_SetChannel");
    auto enable = Resolve<decltype(&vantor_Enable)>(library, "vantor_Enable");
    auto processEvents = Resolve<decltype(&vantor_process_events)>(library, "vantor_process_events");

    vantor_driver* driver = nullptr;
    vantor_bool result = 0;
    Check(create(&driver), "create");
    char title[] = "bench_output_pump";
    char* titlePointer = title;
    char* filePointer = pluginPath.data();
    vantor_host_helper* helper = nullptr;
    Check(init(driver, &titlePointer, &filePointer, &helper, &result), "init");
    Check(selectPort(1, &result), "select_port");
    if (!result) throw std::runtime_error("port 1 did not open");
    for (std::int32_t channel = 1; channel <= 512; ++channel) {
        std::int32_t level = channel % 256;
        Check(setChannel(driver, &channel, &level, &result), "SetChannel");
    }
    Check(enable(driver, &result), "Enable");
    processEvents(500);  // settle: the first ticks after Enable
    widget.TakeFrames();

    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) processEvents(50);
    const auto frames = widget.TakeFrames();

    std::vector<Clock::time_point> arrivals;
    std::size_t wrongSize = 0;
    for (const auto& frame : frames) {
        if (frame.label != kOutputLabel) continue;
        arrivals.push_back(frame.at);
        if (frame.data.size() != 513) ++wrongSize;
    }
    if (arrivals.size() < 3) throw std::runtime_error("too few frames arrived");
    std::vector<double> intervals;
    for (std::size_t index = 1; index < arrivals.size(); ++index)
        intervals.push_back(
            std::chrono::duration<double, std::milli>(arrivals[index] - arrivals[index - 1]).count());
    std::sort(intervals.begin(), intervals.end());
    const double span = std::chrono::duration<double>(arrivals.back() - arrivals.front()).count();

    std::printf("output pump over %.1f s: %zu label-6 frames (%zu not 518 bytes), %.2f frames/s\n", seconds,
                arrivals.size(), wrongSize, static_cast<double>(arrivals.size() - 1) / span);
    std::printf("frame interval ms: min %.2f  p50 %.2f  p99 %.2f  max %.2f\n", intervals.front(),
                Percentile(intervals, 0.50), Percentile(intervals, 0.99), intervals.back());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    std::string plugin = (self.parent_path().parent_path() / "vantor.out.so").string();
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string option = argv[index];
        if (option == "--seconds")
            seconds = std::atof(argv[index + 1]);
        else if (option == "--plugin")
            plugin = argv[index + 1];
    }
    try {
        return Run(seconds > 0 ? seconds : 10, plugin);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_output_pump: %s\n", failure.what());
        return 1;
    }
}
