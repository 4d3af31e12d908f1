#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A failure of the serial port control, carrying the control's description.
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The window's serial port control as the widget link relies on it. Byte-transparent in both directions;
// every failure is thrown as SerialError. While no port is open, reading, writing and the waiting count are
// refused (thrown), the count included: a wait for input on a port that has closed must end at once, not
// wait out its time-out. A failed write (the device has not taken the bytes within a bounded time, or it
// has gone) closes the port before it is thrown, as does a device found gone while reading, so that a dead
// link cannot hold the one thread again at the next write. Callers learn of such a close from PortOpen.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    virtual int CommPort() const = 0;
    // Refused (thrown) while a port is open or for a number outside 1 to 16.
    virtual void SetCommPort(int port) = 0;
    virtual bool PortOpen() const = 0;
    // True opens the port named by CommPort (thrown when it does not exist or is in use); false closes it.
    virtual void SetPortOpen(bool open) = 0;
    // The number of received bytes waiting.
    virtual int InBufferCount() = 0;
    // Discards every waiting received byte.
    virtual void ClearInBuffer() = 0;
    // All waiting received bytes in arrival order; they are removed from the buffer.
    virtual std::vector<std::uint8_t> Input() = 0;
    // The same into bytes, whose storage is reused: a steady stream of reads allocates nothing.
    virtual void ReadInput(std::vector<std::uint8_t>& bytes) { bytes = Input(); }
    // Writes the bytes in one piece.
    virtual void Output(std::span<const std::uint8_t> bytes) = 0;

    // True where the port raises InputArrived, so that nothing needs to ask it for input on a clock.
    virtual bool NotifiesInput() const { return false; }
    // Raised on the window's thread when received bytes wait, also for bytes that came while it was raised.
    std::function<void()> InputArrived;
};
