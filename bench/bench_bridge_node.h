#pragma once

// vantor-bridge as the benchmarks run it, on the rig of the latency bench (bench_rig.h): its ports on a rack
// of simulated widgets, and the rig's ArtDmx to them.
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "bench_rig.h"
#include "widget_rack.h"

namespace bridge_bench {

using namespace bench_rig;
using namespace std::chrono_literals;

inline constexpr double kRate = 44;

// Port k's universe, the same for every bridge.
inline std::uint16_t UniverseOf(int port) {
    return static_cast<std::uint16_t>(port);
}

// A folder of the run's own, removed with what is in it.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vantor-bench-ports-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// vantor-bridge on every widget of the rack, port k a send-mode port of universe k (Art-Net unless another
// protocol is named), its file, its runtime and state folders and its journal in the run's folder. It is held
// to the veth pair's host side: it takes only what arrives there (and on lo), and what it broadcasts stays
// between the rig's namespaces.
class BridgeNode {
public:
    BridgeNode(const prowidget::WidgetRack& rack, const std::filesystem::path& folder,
               const char* protocol = "artnet")
        : program_((BuildFolder() / "vantor-bridge").string()), folder_(folder) {
        for (const char* sub : {"run", "state"}) std::filesystem::create_directories(folder_ / sub);
        std::ofstream config(folder_ / "vantor-bridge.conf");
        config << "[node]\ninterface = " << kHostInterface << "\nname = bench\n";
        for (int k = 1; k <= rack.Count(); ++k)
            config << "\n[port " << k << "]\ndevice = " << rack.ByIdName(k)
                   << "\nmode = send\nprotocol = " << protocol << "\nuniverse = " << UniverseOf(k) << "\n";
        config.close();
        environment_ = {
            {"VANTOR_SERIAL_BY_ID", std::filesystem::path(rack.ByIdPath(1)).parent_path().string()},
            {"RUNTIME_DIRECTORY", (folder_ / "run").string()},
            {"STATE_DIRECTORY", (folder_ / "state").string()}};
        pid_ = StartProgram(program_, {"--config", (folder_ / "vantor-bridge.conf").string()}, environment_,
                            Journal());
    }
    ~BridgeNode() { Stop(); }
    BridgeNode(const BridgeNode&) = delete;
    BridgeNode& operator=(const BridgeNode&) = delete;

    pid_t Pid() const { return pid_; }
    std::string Journal() const { return (folder_ / "journal").string(); }

    // Peak resident memory in KiB; 0 once stopped.
    long Stop() {
        const long peakKiB = pid_ > 0 ? StopHost(pid_) : 0;
        pid_ = -1;
        return peakKiB;
    }

    // vantor-bridge --update-firmware as a user runs it beside the daemon; true when the daemon took it.
    bool UpdateFirmware(int port, const std::string& file) const {
        const pid_t client = StartProgram(program_, {"--update-firmware", std::to_string(port), file},
                                          environment_, Journal());
        int status = 0;
        waitpid(client, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // The daemon's status table, as `vantor-bridge --status` prints it.
    std::string Status() const {
        const std::string file = (folder_ / "status").string();
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        waitpid(StartProgram(program_, {"--status"}, environment_, file), nullptr, 0);
        std::stringstream text;
        text << std::ifstream(file).rdbuf();
        return text.str();
    }

private:
    std::string program_;
    std::filesystem::path folder_;
    std::vector<std::pair<std::string, std::string>> environment_;
    pid_t pid_ = -1;
};

inline void PrintJournal(const std::string& journal) {
    if (journal.empty()) return;
    std::ifstream in(journal);
    for (std::string line; std::getline(in, line);) std::fprintf(stderr, "  | %s\n", line.c_str());
}

// Until each of these ports' widgets has shown a frame, sending its universe a frame every 100 ms (an ArtDmx
// unless `send` sends port k's otherwise); says which never did.
inline bool WaitUntilBridging(const VethRig& rig, prowidget::WidgetRack& rack, const std::vector<int>& ports,
                              std::chrono::seconds limit, const std::string& subject,
                              const std::function<void(int)>& send = {}) {
    std::map<int, std::size_t> before;
    for (int k : ports) before[k] = rack.Widget(k).FrameCount(kOutputLabel);
    const auto by = Clock::now() + limit;
    for (;;) {
        std::string missing;
        for (int k : ports)
            if (rack.Widget(k).FrameCount(kOutputLabel) == before[k]) missing += " " + std::to_string(k);
        if (missing.empty()) return true;
        if (Clock::now() >= by) {
            std::fprintf(stderr, "%s: no frame within %lld s on port%s\n", subject.c_str(),
                         static_cast<long long>(limit.count()), missing.c_str());
            return false;
        }
        for (int k : ports)
            if (send)
                send(k);
            else
                rig.Send(ArtDmx(0xFFFF, UniverseOf(k)));
        std::this_thread::sleep_for(100ms);
    }
}

inline std::vector<int> PortsUpTo(int count) {
    std::vector<int> ports;
    for (int k = 1; k <= count; ++k) ports.push_back(k);
    return ports;
}

}  // namespace bridge_bench
