#pragma once

// The most datagrams a socket's handler reads for one arrival: enough to drain a burst; past it the socket
// announces the rest again, so timers and buttons still get their turn under a flood.
inline constexpr int kMaxDatagramsPerArrival = 256;
