#pragma once

// Shared by the widget link benchmarks: the window's thread CPU clock and a headless Qt application.

#include <time.h>

#include <QApplication>
#include <cstdlib>

namespace bench_link {

inline double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The node may start in these programs: it is kept on loopback whatever the caller's environment says.
inline void HeadlessOnLoopback() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VANTOR_HEADLESS", "1", 0);
    setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
}

}  // namespace bench_link
