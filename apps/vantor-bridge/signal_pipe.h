#pragma once

#include <csignal>

// SIGHUP, SIGINT and SIGTERM, each written as one byte into a pipe that the event loop watches; a stop is
// also remembered for the waits before the loop runs.
void CatchSignals();
// The pipe's end to read.
int SignalPipe();
bool StopRequested();
