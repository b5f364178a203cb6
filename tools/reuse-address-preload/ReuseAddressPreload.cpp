// Loaded into another project's server under test: its listening socket takes SO_REUSEADDR, so
// that a server started right after the previous one can bind the same port while the earlier
// connections linger in TIME_WAIT.
#include <dlfcn.h>
#include <sys/socket.h>

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
    using Bind = int (*)(int, const sockaddr*, socklen_t);
    static const auto realBind = reinterpret_cast<Bind>(dlsym(RTLD_NEXT, "bind"));
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return realBind(fd, address, length);
}
