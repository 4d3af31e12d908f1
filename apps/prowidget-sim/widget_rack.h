#pragma once

// Several simulated widgets at once, as on a machine with a hub full of them. Widget k (1 to Count()) has
// its own pty, its own serial number and, when a folder is given, a link in it named as udev names the
// links in /dev/serial/by-id. Unplugging a widget removes its link and closes its pty, so the side that has
// it open sees a hang-up; plugging it back gives a new pty and a new link with the same serial number.
// Every member function is thread-safe; a Widget(k) reference stays valid until widget k is unplugged or
// the rack is destroyed.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "prowidget_sim.h"

namespace prowidget {

// The serial number as the by-id links and prowidget-sim's lines show it: at least 8 decimal digits.
std::string SerialNumberText(std::uint32_t serialNumber);

class WidgetRack {
public:
    // Called on each new simulator, at start and at every Plug, before its link appears: what a widget
    // keeps across a re-plug (parameters, report rate, log). It must not call the rack.
    using Setup = std::function<void(Simulator& widget, int number)>;

    // Widget k gets serial number serialBase + k - 1. Without a folder no links are made; a folder that is
    // missing is made. Throws std::invalid_argument for a count below 1 or serial numbers beyond 32 bits,
    // std::system_error when a pty or the folder cannot be had, std::runtime_error when a link cannot be
    // made (links made by then are removed again).
    explicit WidgetRack(int count, std::string byIdFolder = {}, std::uint32_t serialBase = 1,
                        Setup setup = {});
    ~WidgetRack();
    WidgetRack(const WidgetRack&) = delete;
    WidgetRack& operator=(const WidgetRack&) = delete;

    int Count() const;
    // Throws std::out_of_range for a number outside 1 to Count(), and std::logic_error while unplugged.
    Simulator& Widget(int number);
    std::string DevicePath(int number) const;  // empty while unplugged
    // The link's name, e.g. usb-Vantor_Simulated_Pro_Widget_00000002-if00-port0, and its path in the folder
    // (empty without a folder). Both are kept while the widget is unplugged, though the link is gone.
    std::string ByIdName(int number) const;
    std::string ByIdPath(int number) const;
    std::uint32_t SerialNumber(int number) const;
    // Each does nothing when the widget already is so.
    void Unplug(int number);
    void Plug(int number);
    bool Plugged(int number) const;

private:
    struct Slot {
        std::uint32_t serialNumber = 0;
        std::unique_ptr<Simulator> widget;
    };
    // The serial numbers and the folder never change after construction; mu_ guards the widgets.
    Slot& At(int number);
    const Slot& At(int number) const;
    void Connect(int number);  // with mu_ held
    void RemoveLinks();        // with mu_ held

    mutable std::mutex mu_;
    const std::string folder_;
    const Setup setup_;
    std::vector<Slot> slots_;
};

}  // namespace prowidget
