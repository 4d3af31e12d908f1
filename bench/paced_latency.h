#pragma once
// Sending numbered items at a steady rate and pairing each with the widget frame that carried its number,
// shared by the latency benches of both builds.

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "prowidget_sim.h"

namespace paced_latency {

using Clock = std::chrono::steady_clock;

// For several streams at once (a console's universes): at each time item `number` of every stream goes,
// stream 0 first. make(number, stream) makes an item, send(stream, item) sends it; returns when each went, by
// stream.
template <typename Make, typename Send>
std::vector<std::vector<Clock::time_point>> SendPacedStreams(int count, double rate, int streams, Make make,
                                                             Send send) {
    std::vector<std::vector<Clock::time_point>> sentAt(
        static_cast<std::size_t>(streams), std::vector<Clock::time_point>(static_cast<std::size_t>(count)));
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    const auto start = Clock::now();
    for (int number = 0; number < count; ++number) {
        std::this_thread::sleep_until(start + period * number);
        for (int stream = 0; stream < streams; ++stream) {
            auto item = make(static_cast<std::uint16_t>(number), stream);
            sentAt[static_cast<std::size_t>(stream)][static_cast<std::size_t>(number)] = Clock::now();
            send(stream, std::move(item));
        }
    }
    return sentAt;
}

// Makes item number 0, 1, ... count - 1 and sends each at its time at the given rate; returns when each went.
template <typename Make, typename Send>
std::vector<Clock::time_point> SendPaced(int count, double rate, Make make, Send send) {
    return SendPacedStreams(
               count, rate, 1, [&](std::uint16_t number, int) { return make(number); },
               [&](int, auto item) { send(std::move(item)); })
        .front();
}

// When the first output frame whose channels 1 and 2 carry each number below `count` (low byte first) came;
// none for numbers that never arrived.
inline std::vector<std::optional<Clock::time_point>> FrameArrivals(
    const std::vector<prowidget::Frame>& frames, std::uint8_t outputLabel, std::size_t count) {
    std::vector<std::optional<Clock::time_point>> arrivals(count);
    for (const auto& frame : frames) {
        if (frame.label != outputLabel || frame.data.size() != 513) continue;
        const std::size_t number = frame.data[1] | frame.data[2] << 8;
        if (number < count && !arrivals[number]) arrivals[number] = frame.at;
    }
    return arrivals;
}

// For each number sent, the time from its sending to the first output frame that carries it, in the unit
// asked for. Numbers that never arrived have no entry.
template <typename Unit>
std::vector<double> FrameLatencies(const std::vector<prowidget::Frame>& frames, std::uint8_t outputLabel,
                                   const std::vector<Clock::time_point>& sentAt) {
    std::vector<double> latencies;
    const auto arrivals = FrameArrivals(frames, outputLabel, sentAt.size());
    for (std::size_t number = 0; number < arrivals.size(); ++number)
        if (arrivals[number])
            latencies.push_back(
                std::chrono::duration<double, Unit>(*arrivals[number] - sentAt[number]).count());
    return latencies;
}

}  // namespace paced_latency
