#include "platform/qt/qt_serial_port.h"

#include <QDeadlineTimer>
#include <QSerialPortInfo>
#include <optional>

#include "platform/qt/logging.h"
#include "platform/qt/serial_port_map.h"

namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 16;
const char* const kNotOpen = "Operation valid only when the port is open";

}  // namespace

QtSerialPort::QtSerialPort() {
    port_.setBaudRate(kLineBaud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

std::string QtSerialPort::DevicePathOf(int port) {
    std::optional<std::string> configured;
    if (qEnvironmentVariableIsSet("VANTOR_SERIAL_PORTS"))
        configured = qEnvironmentVariable("VANTOR_SERIAL_PORTS").toStdString();
    std::vector<std::string> devices;
    if (!configured) {
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            devices.push_back(info.systemLocation().toStdString());
    }
    const auto paths = SerialPortPaths(configured, std::move(devices));
    if (port < 1 || static_cast<std::size_t>(port) > paths.size()) return {};
    return paths[static_cast<std::size_t>(port - 1)];
}

void QtSerialPort::SetCommPort(int port) {
    if (port_.isOpen()) throw SerialError("Port already open");
    if (port < kLowestPort || port > kHighestPort) throw SerialError("Invalid port number");
    commPort_ = port;
}

void QtSerialPort::SetPortOpen(bool open) {
    if (!open) {
        if (port_.isOpen()) port_.close();
        return;
    }
    if (port_.isOpen()) throw SerialError("Port already open");
    const std::string path = DevicePathOf(commPort_);
    if (path.empty()) throw SerialError("Invalid port number");
    port_.setPortName(QString::fromStdString(path));
    if (!port_.open(QIODevice::ReadWrite)) {
        const QString why = port_.errorString();
        throw SerialError(("Port " + std::to_string(commPort_) + " (" + path + "): ") + why.toStdString());
    }
    port_.clearError();
    // Settings applied before open are set on the device by open itself.
    qCDebug(lcWidget) << "opened port" << commPort_ << QString::fromStdString(path);
}

// Bytes reach us through the event loop only when it runs; a caller that has blocked (the port scan's sleep)
// must still see what arrived meanwhile.
void QtSerialPort::PullWaitingBytes() {
    for (int round = 0; round < 64 && port_.isOpen() && port_.waitForReadyRead(0); ++round) {
    }
    // An unplugged adapter reads as a resource error, a pseudo-terminal whose other side went as a read
    // error.
    const auto error = port_.error();
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
        FailAndClose(port_.errorString());
}

int QtSerialPort::InBufferCount() {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    PullWaitingBytes();
    return static_cast<int>(port_.bytesAvailable());
}

void QtSerialPort::ClearInBuffer() {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    PullWaitingBytes();
    port_.readAll();
}

std::vector<std::uint8_t> QtSerialPort::Input() {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    PullWaitingBytes();
    const QByteArray bytes = port_.readAll();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void QtSerialPort::FailAndClose(const QString& description) {
    // A device that failed a write is gone or broken: closing it keeps the output pump quiet until the user
    // chooses the port again. What the device did not take goes with it.
    port_.clear(QSerialPort::Output);
    port_.close();
    qCDebug(lcWidget) << "closed port" << commPort_ << "after:" << description;
    throw SerialError(description.toStdString());
}

void QtSerialPort::Output(std::span<const std::uint8_t> bytes) {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    port_.clearError();
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(reinterpret_cast<const char*>(bytes.data()), size) != size)
        FailAndClose(port_.errorString());
    QDeadlineTimer deadline(kWriteTimeoutMs);
    while (port_.bytesToWrite() > 0) {
        if (port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) continue;
        const auto error = port_.error();
        if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
            FailAndClose(port_.errorString());
        // A device that stopped reading would cost the whole time-out at every later write.
        if (deadline.hasExpired()) FailAndClose(QStringLiteral("Write timed out"));
    }
}
