#pragma once

// OLA on the same rig as the host, as the black-box reference: olad as the unprivileged user nobody, with a
// fresh configuration folder of its own in which only the Art-Net plug-in (bound to the bench's veth address)
// and the USB serial plug-in are enabled. The USB serial plug-in looks for ttyUSB* in a folder of the bench's
// own, where a link of that name leads to the simulated widget's pty. Its Art-Net input port and the widget's
// output port are patched to the rig's universe.

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

inline bool Installed() {
    return std::system("command -v olad >/dev/null 2>&1 && command -v ola_patch >/dev/null 2>&1") == 0;
}

inline std::string Unprivileged(const std::string& command) {
    return "setpriv --reuid=nobody --regid=nogroup --clear-groups " + command;
}

// The OLA device number whose description starts with this name, or -1.
inline int DeviceNumber(const std::string& name) {
    FILE* list = popen(Unprivileged("ola_dev_info 2>/dev/null").c_str(), "r");
    if (!list) return -1;
    char line[512];
    int number = -1;
    while (std::fgets(line, sizeof line, list)) {
        int device = 0;
        char description[256] = {};
        if (std::sscanf(line, "Device %d: %255[^\n]", &device, description) == 2 &&
            std::string(description).rfind(name, 0) == 0)
            number = device;
    }
    pclose(list);
    return number;
}

class Ola {
public:
    explicit Ola(const std::string& device) {
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
                  "\nnet = 0\nsubnet = 0\noutput_ports = 4\nuse_loopback = false\n"
                  "always_broadcast = false\nuse_limited_broadcast = false\n");
        // Its default frame limit (190 a second) would drop most of the 1,000 a second.
        Write(config + "/ola-usbserial.conf",
              "enabled = true\ndevice_dir = " + devices + "\ndevice_prefix = ttyUSB\npro_fps_limit = 5000\n");
        // A name of this run's own: OLA locks it under /var/lock.
        std::filesystem::create_symlink(device, devices + "/ttyUSB" + std::to_string(getpid()));
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) throw std::runtime_error("no user nobody for olad");
        for (const auto& path : {folder_, config, devices, device})
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
            Patch();
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~Ola() { Stop(); }
    Ola(const Ola&) = delete;
    Ola& operator=(const Ola&) = delete;

private:
    // Its Art-Net input and the widget's output to the rig's universe, once olad shows both devices.
    static void Patch() {
        // The widget is found by probing, a few hundred milliseconds after start.
        int artnet = -1, widget = -1;
        for (auto by = bench_rig::Clock::now() + 20s;
             bench_rig::Clock::now() < by && (artnet < 0 || widget < 0);) {
            std::this_thread::sleep_for(300ms);
            artnet = DeviceNumber("ArtNet");
            widget = DeviceNumber("Enttec Usb Pro");
        }
        if (artnet < 0 || widget < 0)
            throw std::runtime_error("olad did not show its Art-Net node and widget");
        const std::string universe = std::to_string(bench_rig::kUniverse);
        bench_rig::Shell(Unprivileged("ola_patch -d " + std::to_string(artnet) + " -p 0 -i -u " + universe));
        bench_rig::Shell(Unprivileged("ola_patch -d " + std::to_string(widget) + " -p 0 -u " + universe));
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

    std::string folder_;
    pid_t pid_ = -1;
};

}  // namespace ola_bridge
