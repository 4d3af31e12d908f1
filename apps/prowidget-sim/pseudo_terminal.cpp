#include "pseudo_terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace prowidget {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) ThrowErrno("posix_openpt");
    try {
        if (grantpt(master_) != 0) ThrowErrno("grantpt");
        if (unlockpt(master_) != 0) ThrowErrno("unlockpt");
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) ThrowErrno("ptsname_r");
        path_ = name;
        slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slave_ < 0) ThrowErrno("open pty slave");
        termios settings{};
        if (tcgetattr(slave_, &settings) != 0) ThrowErrno("tcgetattr");
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
        if (tcsetattr(slave_, TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");
    } catch (...) {
        if (slave_ >= 0) close(slave_);
        close(master_);
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    close(slave_);
    close(master_);
}

int PseudoTerminal::UnreadBySlave() const {
    int waiting = 0;
    if (ioctl(slave_, FIONREAD, &waiting) != 0) return 0;
    return waiting;
}

}  // namespace prowidget
