// Loaded into BlueZ's btvirt (LD_PRELOAD) for the VM rounds with more than one link per
// controller. btvirt numbers a link's handle on each of its two controllers apart, from the first
// number free on each, but hands ACL data to the receiving controller under the sender's number:
// once a controller holds two links, its data lands on another link (and the kernel, fed another
// link's packets, corrupts its own lists). This rewrites the handle of each ACL packet btvirt
// passes on to the receiver's number for the same link, learnt from the events btvirt sends: each
// controller's own address and the links it reports opened and closed.
//
// btvirt runs one thread, and a packet it passes on is written while it handles the read that
// brought it; the state is still kept under a lock. A preloaded library has nowhere to keep it
// but in the process.
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using Address = std::array<std::uint8_t, 6>;

constexpr std::uint8_t kAclPacket = 0x02;
constexpr std::uint8_t kEventPacket = 0x04;
constexpr std::uint8_t kConnectComplete = 0x03;
constexpr std::uint8_t kDisconnectComplete = 0x05;
constexpr std::uint8_t kCommandComplete = 0x0E;
constexpr std::uint16_t kReadBdAddr = 0x1009;

std::uint16_t little16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

class Links {
public:
    static Links& instance() {
        static Links links;
        return links;
    }

    ssize_t read(int fd, void* buffer, std::size_t count) {
        const ssize_t size = realRead(fd, buffer, count);
        if (size >= 3 && isVhci(fd)) {
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            if (bytes[0] == kAclPacket) {
                const std::lock_guard guard(lock);
                sender = fd;
            }
        }
        return size;
    }

    ssize_t writev(int fd, const iovec* parts, int count) {
        if (count <= 0 || !isVhci(fd)) {
            return realWritev(fd, parts, count);
        }
        std::vector<std::uint8_t> packet;
        for (int index = 0; index < count; ++index) {
            const auto* bytes = static_cast<const std::uint8_t*>(parts[index].iov_base);
            packet.insert(packet.end(), bytes, bytes + parts[index].iov_len);
        }
        if (packet.size() >= 3 && packet[0] == kEventPacket) {
            noteEvent(fd, packet);
        } else if (packet.size() >= 5 && packet[0] == kAclPacket) {
            if (const auto handle = receiverHandle(fd)) {
                const std::uint16_t flags = little16(packet.data() + 1) & 0xF000;
                const auto rewritten = static_cast<std::uint16_t>(flags | *handle);
                packet[1] = static_cast<std::uint8_t>(rewritten & 0xFF);
                packet[2] = static_cast<std::uint8_t>(rewritten >> 8);
                const iovec whole{packet.data(), packet.size()};
                return realWritev(fd, &whole, 1);
            }
        }
        return realWritev(fd, parts, count);
    }

private:
    struct Controller {
        std::optional<Address> own;
        std::map<std::uint16_t, Address> links;
    };

    Links()
        : realRead(reinterpret_cast<Read>(::dlsym(RTLD_NEXT, "read"))),
          realWritev(reinterpret_cast<Writev>(::dlsym(RTLD_NEXT, "writev"))) {}

    bool isVhci(int fd) {
        const std::lock_guard guard(lock);
        const auto known = vhci.find(fd);
        if (known != vhci.end()) {
            return known->second;
        }
        std::array<char, 64> target{};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t size = ::readlink(link.c_str(), target.data(), target.size() - 1);
        const bool is =
            size > 0 && std::string(target.data(), static_cast<std::size_t>(size)) == "/dev/vhci";
        // Other descriptors may be closed and their numbers reused; btvirt keeps its controllers'.
        if (is) {
            vhci[fd] = true;
        }
        return is;
    }

    void noteEvent(int fd, const std::vector<std::uint8_t>& packet) {
        const std::lock_guard guard(lock);
        Controller& controller = controllers[fd];
        const std::uint8_t code = packet[1];
        if (code == kCommandComplete && packet.size() >= 13 &&
            little16(packet.data() + 4) == kReadBdAddr && packet[6] == 0) {
            Address own{};
            std::memcpy(own.data(), packet.data() + 7, own.size());
            controller.own = own;
        } else if (code == kConnectComplete && packet.size() >= 12 && packet[3] == 0) {
            Address peer{};
            std::memcpy(peer.data(), packet.data() + 6, peer.size());
            controller.links[little16(packet.data() + 4) & 0x0FFF] = peer;
        } else if (code == kDisconnectComplete && packet.size() >= 6 && packet[3] == 0) {
            controller.links.erase(little16(packet.data() + 4) & 0x0FFF);
        }
    }

    // The receiving controller's handle for the link the packet came over; nothing when unknown.
    std::optional<std::uint16_t> receiverHandle(int receiver) {
        const std::lock_guard guard(lock);
        if (!sender) {
            return std::nullopt;
        }
        const auto from = controllers.find(*sender);
        const auto to = controllers.find(receiver);
        if (from == controllers.end() || to == controllers.end() || !from->second.own) {
            return std::nullopt;
        }
        for (const auto& [handle, peer] : to->second.links) {
            if (peer == *from->second.own) {
                return handle;
            }
        }
        return std::nullopt;
    }

    using Read = ssize_t (*)(int, void*, std::size_t);
    using Writev = ssize_t (*)(int, const iovec*, int);
    const Read realRead;
    const Writev realWritev;
    std::mutex lock;
    std::map<int, bool> vhci;
    std::map<int, Controller> controllers;
    // The controller whose ACL packet btvirt is passing on.
    std::optional<int> sender;
};

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, std::size_t count) {
    return Links::instance().read(fd, buffer, count);
}

ssize_t writev(int fd, const iovec* parts, int count) {
    return Links::instance().writev(fd, parts, count);
}
}
