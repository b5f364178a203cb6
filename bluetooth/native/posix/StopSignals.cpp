#include "bluetooth/native/StopSignals.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace flarecast::bluetooth {

namespace {

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

UniqueFd checked(int fd, const char* what) {
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), what);
    }
    return UniqueFd(fd);
}

}  // namespace

void StopSignals::blockInThisThread() {
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

StopSignals::StopSignals(std::function<void(int count)> onSignal)
    : onSignal(std::move(onSignal)),
      signals(checked(
          [] {
              const sigset_t set = stopSignals();
              return ::signalfd(-1, &set, SFD_CLOEXEC);
          }(),
          "signalfd")),
      done(checked(::eventfd(0, EFD_CLOEXEC), "eventfd")) {
    thread.start([this] { listen(); });
}

StopSignals::~StopSignals() {
    const std::uint64_t one = 1;
    while (::write(done.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread.join();
}

void StopSignals::listen() {
    int count = 0;
    while (true) {
        std::array<pollfd, 2> ready{{{signals.get(), POLLIN, 0}, {done.get(), POLLIN, 0}}};
        if (::poll(ready.data(), ready.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (ready[1].revents != 0) {
            return;
        }
        signalfd_siginfo info{};
        if (::read(signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            onSignal(++count);
        }
    }
}

}  // namespace flarecast::bluetooth
