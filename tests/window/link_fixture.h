#pragma once

// The window on fakes, with widgets that answer get-parameters requests on chosen ports.

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "support/fakes.h"
#include "support/widget_frames.h"
#include "window/form1.h"

inline Bytes ParametersReply(std::uint8_t firmwareMsb, std::uint8_t firmwareLsb, std::uint8_t breakTime = 9,
                             std::uint8_t mabTime = 1, std::uint8_t rate = 40) {
    return WidgetFrame(3, {firmwareLsb, firmwareMsb, breakTime, mabTime, rate});
}

inline bool IsGetParametersRequest(const Bytes& bytes) {
    return bytes.size() >= 2 && bytes[1] == 3;
}

struct WindowOnFakes {
    WindowOnFakes() {
        port.existing.clear();
        port.onWrite = [this](const Bytes& written) {
            const auto answer = answers.find(port.commPort);
            if (IsGetParametersRequest(written) && answer != answers.end()) port.Receive(answer->second);
        };
    }

    Form1& Make() {
        form = std::make_unique<Form1>(
            WindowServices{port, socket, box, events, nullptr, {}, "", separator, {}, sacnSocket});
        return *form;
    }
    Form1& Load() {
        Make().Form_Load();
        return *form;
    }

    // A device on that port, answering get-parameters requests with reply (nothing when reply is empty).
    void Device(int number, Bytes reply = {}) {
        port.existing.push_back(number);
        if (!reply.empty()) answers[number] = std::move(reply);
    }

    FakeSerialPort port;
    FakeUdpSocket socket;
    RecordingMessageBox box;
    FakeEventLoop events;
    std::string separator = ".";
    SacnSocket* sacnSocket = nullptr;
    std::map<int, Bytes> answers;
    std::unique_ptr<Form1> form;
};
