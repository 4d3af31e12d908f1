#pragma once

// OLA on the same rig as the host, as the black-box reference: olad as the unprivileged user nobody, with a
// fresh configuration folder of its own in which only the Art-Net plug-in (bound to the bench's veth address)
// and the USB serial plug-in are enabled. The USB serial plug-in looks for ttyUSB* in a folder of the bench's
// own, where a link of that name leads to each simulated widget's pty. One Art-Net input port per widget and
// the widget's output port are patched to the widget's universe.

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <array>
#include <sstream>
#include <thread>

#include "bench_rig.h"

namespace ola_bridge {

using namespace std::chrono_literals;

// Every plug-in this OLA has, so that none but ours starts with its default settings.
constexpr std::array kDisabledPlugins = {"dummy",  "e131",       "espnet",  "ftdidmx", "gpio",
                                         "karate", "kinet",      "milinst", "opendmx", "openpixelcontrol",
                                         "osc",    "pathport",   "renard",  "sandnet", "shownet",
                                         "spi",    "stageprofi", "uartdmx", "usbdmx"};

// The Art-Net input ports OLA's plug-in bridges: set to eight, OLA 0.10.9 shows its first four universes on
// their widgets and never the others.
constexpr std::size_t kArtNetInputPorts = 4;

inline bool Installed() {
    return std::system("command -v olad >/dev/null 2>&1 && command -v ola_patch >/dev/null 2>&1") == 0;
}

inline std::string Unprivileged(const std::string& command) {
    return "setpriv --reuid=nobody --regid=nogroup --clear-groups " + command;
}

// OLA's devices as ola_dev_info lists them: number and description.
inline std::vector<std::pair<int, std::string>> Devices() {
    std::vector<std::pair<int, std::string>> devices;
    FILE* list = popen(Unprivileged("ola_dev_info 2>/dev/null").c_str(), "r");
    if (!list) return devices;
    char line[512];
    while (std::fgets(line, sizeof line, list)) {
        int device = 0;
        char description[256] = {};
        if (std::sscanf(line, "Device %d: %255[^\n]", &device, description) == 2)
            devices.emplace_back(device, description);
    }
    pclose(list);
    return devices;
}

// The number of the device whose description starts with this name, or -1.
inline int DeviceNumber(const std::vector<std::pair<int, std::string>>& devices, const std::string& name) {
    int number = -1;
    for (const auto& [device, description] : devices)
        if (description.rfind(name, 0) == 0) number = device;
    return number;
}

// A widget for OLA to drive: its pty, the universe it shows (OLA's Art-Net ports take its low four bits), and
// its serial number as OLA's device list shows it ("00000003"; empty: the one widget OLA lists).
struct Widget {
    std::string device;
    int universe = bench_rig::kUniverse;
    std::string serialNumber;
};

class Ola {
public:
    explicit Ola(const std::string& device) : Ola(std::vector<Widget>{{device, bench_rig::kUniverse, ""}}) {}
    explicit Ola(const std::vector<Widget>& widgets) {
        if (widgets.size() > kArtNetInputPorts)
            throw std::invalid_argument("OLA's Art-Net plug-in bridges at most " +
                                        std::to_string(kArtNetInputPorts) + " universes");
        char folder[] = "/tmp/vantor-bench-ola-XXXXXX";
        if (!mkdtemp(folder)) throw std::runtime_error("mkdtemp");
        folder_ = folder;
        const std::string config = folder_ + "/config", devices = folder_ + "/dev";
        std::filesystem::create_directories(config);
        std::filesystem::create_directories(devices);
        for (const char* plugin : kDisabledPlugins)
            Write(config + "/ola-" + plugin + ".conf", "enabled = false\n");
        Write(config + "/ola-artnet.conf",
              std::string("enabled = true\nip = ") + bench_rig::kHostAddress +
                  "\nnet = 0\nsubnet = 0\ninput_ports = " + std::to_string(kArtNetInputPorts) +
                  "\noutput_ports = 4\nuse_loopback = false\n"
                  "always_broadcast = false\nuse_limited_broadcast = false\n");
        // Its default frame limit (190 a second) would drop most of the 1,000 a second.
        Write(config + "/ola-usbserial.conf",
              "enabled = true\ndevice_dir = " + devices + "\ndevice_prefix = ttyUSB\npro_fps_limit = 5000\n");
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) throw std::runtime_error("no user nobody for olad");
        std::vector<std::string> owned{folder_, config, devices};
        for (std::size_t k = 0; k < widgets.size(); ++k) {
            // A name of this run's own: OLA locks it under /var/lock.
            std::filesystem::create_symlink(
                widgets[k].device,
                devices + "/ttyUSB" + std::to_string(getpid()) + "_" + std::to_string(k + 1));
            owned.push_back(widgets[k].device);
        }
        for (const auto& path : owned)
            if (chown(path.c_str(), nobody->pw_uid, static_cast<gid_t>(-1)) != 0)
                throw std::runtime_error("chown " + path);
        for (const auto& entry : std::filesystem::directory_iterator(config))
            chown(entry.path().c_str(), nobody->pw_uid, static_cast<gid_t>(-1));

        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            const std::string command = Unprivileged("olad --no-http --no-register-with-dns-sd -c " + config);
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
            _exit(127);
        }
        try {
            Patch(widgets);
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~Ola() { Stop(); }
    Ola(const Ola&) = delete;
    Ola& operator=(const Ola&) = delete;

    // olad itself (the shell and setpriv exec it).
    pid_t Pid() const { return pid_; }

    // Stops olad; its peak resident memory over its whole life, in KiB (0 when it was stopped already).
    long Stop() {
        long peakKiB = 0;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            rusage usage{};
            wait4(pid_, nullptr, 0, &usage);
            peakKiB = usage.ru_maxrss;
            pid_ = -1;
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        return peakKiB;
    }

private:
    // Each Art-Net input port and its widget's output to the widget's universe, once olad shows them all.
    static void Patch(const std::vector<Widget>& widgets) {
        // The widgets are found by probing, a few hundred milliseconds after start.
        int artnet = -1;
        std::vector<int> numbers(widgets.size(), -1);
        const auto missing = [&] { return artnet < 0 || std::count(numbers.begin(), numbers.end(), -1) > 0; };
        for (auto by = bench_rig::Clock::now() + 20s; bench_rig::Clock::now() < by && missing();) {
            std::this_thread::sleep_for(300ms);
            const auto devices = Devices();
            artnet = DeviceNumber(devices, "ArtNet");
            for (std::size_t k = 0; k < widgets.size(); ++k) {
                const std::string& serial = widgets[k].serialNumber;
                numbers[k] = DeviceNumber(
                    devices, "Enttec Usb Pro" + (serial.empty() ? "" : " Device, Serial #: " + serial));
            }
        }
        if (missing()) throw std::runtime_error("olad did not show its Art-Net node and every widget");
        for (std::size_t k = 0; k < widgets.size(); ++k) {
            const std::string universe = std::to_string(widgets[k].universe);
            bench_rig::Shell(Unprivileged("ola_patch -d " + std::to_string(artnet) + " -p " +
                                          std::to_string(k) + " -i -u " + universe));
            bench_rig::Shell(
                Unprivileged("ola_patch -d " + std::to_string(numbers[k]) + " -p 0 -u " + universe));
        }
    }

    static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

    std::string folder_;
    pid_t pid_ = -1;
};

}  // namespace ola_bridge
