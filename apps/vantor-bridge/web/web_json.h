#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <string>
#include <vector>

#include "node/node.h"

// What the page says of the node itself.
struct NodeFacts {
    std::string name;
    std::string interface;
    std::string address;
    std::string mac;
    std::chrono::steady_clock::time_point started;
};

QJsonObject NodeJson(const NodeFacts& facts, std::chrono::steady_clock::time_point now);
QJsonObject PortJson(const PortStatus& port);
QJsonArray PortsJson(const std::vector<PortStatus>& ports);
