#pragma once

#include <string>

namespace prowidget {

// The master side of a pty whose slave side is in raw mode, so bytes pass untouched both ways. A slave
// descriptor stays open for the pty's whole life: the master then never sees EIO/hang-up while the plug-in
// closes and reopens the port, and the raw settings survive between its opens.
class PseudoTerminal {
public:
    PseudoTerminal();  // throws std::system_error
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    int SlaveFd() const { return slave_; }
    const std::string& SlavePath() const { return path_; }
    // Bytes written to the slave side that nobody has read yet.
    int UnreadBySlave() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace prowidget
