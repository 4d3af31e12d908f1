#include "platform/qt/qt_serial_port.h"

#include <poll.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QSerialPortInfo>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>

#include "platform/qt/logging.h"
#include "widget/serial_port_map.h"
#include "stuff/scoped_flag.h"

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
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { AnnounceInput(); });
    // A device that goes away while nothing is written shows only as a failed read, which raises no
    // readyRead: it is announced as well, so that the reader finds the failure. Queued, since a wait inside
    // one of our own calls may raise it.
    QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
            QMetaObject::invokeMethod(
                &port_, [this] { AnnounceInput(); }, Qt::QueuedConnection);
    });
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
// must still see what arrived meanwhile. A handler of InputArrived runs just after Qt has read what the
// device had, so nothing is pulled for it. Qt is asked to read only when the device has bytes: its wait that
// times out records a translated error text, which costs allocations on every poll.
void QtSerialPort::PullWaitingBytes() {
    if (!announcing_) {
        ScopedFlag pulling(pulling_);
        for (int round = 0; round < 64 && port_.isOpen(); ++round) {
            pollfd device{port_.handle(), POLLIN, 0};
            if (::poll(&device, 1, 0) <= 0 || !port_.waitForReadyRead(0)) break;
        }
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
    readWhileAnnouncing_ = true;
}

std::vector<std::uint8_t> QtSerialPort::Input() {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    PullWaitingBytes();
    const QByteArray bytes = port_.readAll();
    readWhileAnnouncing_ = true;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void QtSerialPort::ReadInput(std::vector<std::uint8_t>& bytes) {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    PullWaitingBytes();
    bytes.resize(static_cast<std::size_t>(port_.bytesAvailable()));
    const qint64 got = port_.read(reinterpret_cast<char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    readWhileAnnouncing_ = true;
}

void QtSerialPort::AnnounceInput() {
    if (pulling_ || announcing_ || !InputArrived) return;
    {
        ScopedFlag announcing(announcing_);
        readWhileAnnouncing_ = false;
        // A handler's failure must not unwind through Qt's event loop.
        try {
            InputArrived();
        } catch (const std::exception& failure) {
            qCWarning(lcWidget).noquote() << "input handler:" << failure.what();
        }
    }
    // Qt raises no readyRead for bytes that come while one is handled (a message box's nested event loop):
    // when the handler read its input and more waits now, it is announced again once the loop is back.
    if (readWhileAnnouncing_ && port_.isOpen() && port_.bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            &port_, [this] { AnnounceInput(); }, Qt::QueuedConnection);
}

void QtSerialPort::FailAndClose(const QString& description) {
    // A device that failed a write is gone or broken: closing it keeps the output pump quiet until the user
    // chooses the port again. What the device did not take goes with it.
    port_.clear(QSerialPort::Output);
    port_.close();
    qCDebug(lcWidget) << "closed port" << commPort_ << "after:" << description;
    throw SerialError(description.toStdString());
}

std::size_t QtSerialPort::WriteDirect(std::span<const std::uint8_t> bytes) {
    if (port_.bytesToWrite() > 0) return 0;
    std::size_t taken = 0;
    while (taken < bytes.size()) {
        const ssize_t wrote = ::write(port_.handle(), bytes.data() + taken, bytes.size() - taken);
        if (wrote > 0) {
            taken += static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            FailAndClose(QString::fromLocal8Bit(std::strerror(errno)));
        } else {
            break;
        }
    }
    return taken;
}

void QtSerialPort::Output(std::span<const std::uint8_t> bytes) {
    if (!port_.isOpen()) throw SerialError(kNotOpen);
    // A device that takes the whole frame at once costs one write() and nothing more; only what it could not
    // take yet goes through Qt's buffer and the time-out below.
    const std::span<const std::uint8_t> rest = bytes.subspan(WriteDirect(bytes));
    if (rest.empty()) return;
    port_.clearError();
    const auto size = static_cast<qint64>(rest.size());
    if (port_.write(reinterpret_cast<const char*>(rest.data()), size) != size)
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
