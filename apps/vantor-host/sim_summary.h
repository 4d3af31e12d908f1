#pragma once

#include <string>

namespace prowidget {
class Simulator;
}

// What the simulated widget received while the host ran, told in a few lines at exit.
class SimWatch {
public:
    explicit SimWatch(prowidget::Simulator* simulator);
    std::string Summary() const;

private:
    prowidget::Simulator* simulator_;
};
