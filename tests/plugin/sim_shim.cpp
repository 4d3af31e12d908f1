#include "sim_shim.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "prowidget_sim.h"

namespace {

// The C host drives one simulated widget per test process.
std::unique_ptr<prowidget::Simulator>& Current() {
    static std::unique_ptr<prowidget::Simulator> simulator;
    return simulator;
}

}  // namespace

extern "C" {

int sim_start(void) {
    try {
        Current() = std::make_unique<prowidget::Simulator>();
        return setenv("VANTOR_SERIAL_PORTS", Current()->DevicePath().c_str(), 1);
    } catch (...) {
        return -1;
    }
}

void sim_stop(void) {
    Current().reset();
}

size_t sim_frame_count(uint8_t label) {
    return Current() ? Current()->FrameCount(label) : 0;
}

size_t sim_last_frame_length(uint8_t label) {
    if (!Current()) return 0;
    const auto frame = Current()->LastFrame(label);
    return frame ? frame->data.size() : 0;
}

int sim_last_frame_byte(uint8_t label, size_t index) {
    if (!Current()) return -1;
    const auto frame = Current()->LastFrame(label);
    if (!frame || index >= frame->data.size()) return -1;
    return frame->data[index];
}

void sim_send(const uint8_t* bytes, size_t count) {
    if (Current()) Current()->Send(std::vector<std::uint8_t>(bytes, bytes + count));
}

}  // extern "C"
