#pragma once

// How many datagrams one socket's wake-up reads at most before it lets the event loop run: a flood must not
// starve the output pump and the timers.
inline constexpr int kMaxDatagramsPerArrival = 256;
