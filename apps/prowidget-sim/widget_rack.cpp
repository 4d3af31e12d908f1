#include "widget_rack.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <utility>

#include "device_link.h"

namespace prowidget {

std::string SerialNumberText(std::uint32_t serialNumber) {
    char text[16];
    std::snprintf(text, sizeof text, "%08u", static_cast<unsigned>(serialNumber));
    return text;
}

WidgetRack::WidgetRack(int count, std::string byIdFolder, std::uint32_t serialBase, Setup setup)
    : folder_(std::move(byIdFolder)), setup_(std::move(setup)) {
    if (count < 1) throw std::invalid_argument("a rack needs at least one widget");
    if (serialBase > std::numeric_limits<std::uint32_t>::max() - static_cast<std::uint32_t>(count - 1))
        throw std::invalid_argument("serial numbers from " + std::to_string(serialBase) +
                                    " leave no room for " + std::to_string(count) + " widgets");
    if (!folder_.empty()) std::filesystem::create_directories(folder_);
    for (int number = 1; number <= count; ++number)
        slots_.push_back({serialBase + static_cast<std::uint32_t>(number - 1), nullptr});
    std::lock_guard lock(mu_);
    try {
        for (int number = 1; number <= count; ++number) Connect(number);
    } catch (...) {
        RemoveLinks();
        throw;
    }
}

WidgetRack::~WidgetRack() {
    std::lock_guard lock(mu_);
    RemoveLinks();
}

int WidgetRack::Count() const {
    return static_cast<int>(slots_.size());
}

WidgetRack::Slot& WidgetRack::At(int number) {
    return const_cast<Slot&>(std::as_const(*this).At(number));
}

const WidgetRack::Slot& WidgetRack::At(int number) const {
    if (number < 1 || number > Count())
        throw std::out_of_range("no widget " + std::to_string(number) + ": widgets are 1 to " +
                                std::to_string(Count()));
    return slots_[static_cast<std::size_t>(number - 1)];
}

Simulator& WidgetRack::Widget(int number) {
    std::lock_guard lock(mu_);
    Slot& slot = At(number);
    if (!slot.widget) throw std::logic_error("widget " + std::to_string(number) + " is unplugged");
    return *slot.widget;
}

std::string WidgetRack::DevicePath(int number) const {
    std::lock_guard lock(mu_);
    const Slot& slot = At(number);
    return slot.widget ? slot.widget->DevicePath() : std::string();
}

std::string WidgetRack::ByIdName(int number) const {
    return "usb-Vantor_Simulated_Pro_Widget_" + SerialNumberText(SerialNumber(number)) + "-if00-port0";
}

std::string WidgetRack::ByIdPath(int number) const {
    std::string name = ByIdName(number);
    return folder_.empty() ? std::string() : (std::filesystem::path(folder_) / name).string();
}

std::uint32_t WidgetRack::SerialNumber(int number) const {
    return At(number).serialNumber;
}

void WidgetRack::Unplug(int number) {
    std::lock_guard lock(mu_);
    Slot& slot = At(number);
    if (!slot.widget) return;
    // The link goes first: whoever sees the hang-up and looks again finds no link to a dead pty.
    if (!folder_.empty()) RemoveDeviceLink(ByIdPath(number));
    slot.widget.reset();
}

void WidgetRack::Plug(int number) {
    std::lock_guard lock(mu_);
    if (!At(number).widget) Connect(number);
}

bool WidgetRack::Plugged(int number) const {
    std::lock_guard lock(mu_);
    return At(number).widget != nullptr;
}

// The link comes last, so that whoever finds it finds the widget set up.
void WidgetRack::Connect(int number) {
    Slot& slot = At(number);
    auto widget = std::make_unique<Simulator>();
    widget->SetSerialNumber(slot.serialNumber);
    if (setup_) setup_(*widget, number);
    if (!folder_.empty()) MakeDeviceLink(ByIdPath(number), widget->DevicePath());
    slot.widget = std::move(widget);
}

void WidgetRack::RemoveLinks() {
    if (folder_.empty()) return;
    for (int number = 1; number <= Count(); ++number)
        if (At(number).widget) RemoveDeviceLink(ByIdPath(number));
}

}  // namespace prowidget
