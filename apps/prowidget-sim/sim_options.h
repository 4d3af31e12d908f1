#pragma once

#include <optional>
#include <string>
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

}  // namespace prowidget
