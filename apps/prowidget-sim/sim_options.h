#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prowidget_sim.h"

namespace prowidget {

// The prowidget-sim command line.
struct SimOptions {
    Parameters parameters;
    std::optional<double> reportRate;
    SimLevels levels{};
    std::uint8_t status = 0;
    std::size_t split = 0;
    std::vector<std::uint8_t> garbage;
    bool silent = false;
    bool notParameters = false;
    bool receiveMode = false;
    int replyDelayMs = 0;
    std::optional<std::size_t> stallAfter;
    bool strayAnswer = false;
    std::vector<std::pair<int, PageAnswer>> pageAnswers;
    std::string link;
    int widgets = 0;  // 0: the one widget of a plain command line, served without a rack
    std::string byId;
    std::uint32_t serialBase = 1;
    bool verbose = false;
    bool help = false;
};

struct ParsedSimOptions {
    SimOptions options;
    std::string error;  // empty when the command line was understood
};

ParsedSimOptions ParseSimOptions(const std::vector<std::string>& args);
void ApplySimOptions(Simulator& sim, const SimOptions& options);
std::string SimUsage();

// One line of standard input while serving several widgets: "unplug K" or "plug K". A blank line is nothing.
struct RackCommand {
    enum class Action { Nothing, Unplug, Plug };
    Action action = Action::Nothing;
    int number = 0;
    std::string error;  // empty when the line was understood
    bool operator==(const RackCommand&) const = default;
};
RackCommand ParseRackCommand(std::string_view line, int widgets);

}  // namespace prowidget
