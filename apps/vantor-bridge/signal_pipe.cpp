#include "signal_pipe.h"

#include <sys/socket.h>
#include <unistd.h>

#include <initializer_list>

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int number) {
    if (number != SIGHUP) stopRequested = 1;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

void CatchSignals() {
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGHUP, SIGINT, SIGTERM}) ::sigaction(number, &action, nullptr);
}

int SignalPipe() {
    return signalPipe[0];
}

bool StopRequested() {
    return stopRequested != 0;
}
