// What the tests inside the throw-away VM share: the addresses the VM script hands over, files to
// offer, and whole passes of the engine.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/engine/Bluetoothfunctions.h"
#include "app/engine/PushJobs.h"
#include "app/engine/RowSink.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "tests/common/Eventually.h"

namespace flarecast::vm {

namespace fs = std::filesystem;

// Looks gently: the VM's processor is emulated.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    return testing::eventually(condition, bound, std::chrono::milliseconds(50));
}

inline std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

inline std::int64_t parsedAddress(const std::string& text) {
    const auto address = bluetooth::bluez::parseColonAddress(text);
    if (!address) {
        throw std::runtime_error("\"" + text + "\" is no address");
    }
    return *address;
}

inline std::int64_t addressOf(const char* variable) {
    return parsedAddress(env(variable));
}

// Twelve hex digits, as rows and URLs write an address.
inline std::string compact(const char* variable) {
    return bluetooth::formatAddress(addressOf(variable));
}

// The number N of the controller hciN that has the address.
inline int devIdOf(std::int64_t address) {
    const bdaddr_t kernel = bluetooth::bluez::toBdaddr(address);
    char text[18];
    ::ba2str(&kernel, text);
    const int id = ::hci_devid(text);
    if (id < 0) {
        throw std::runtime_error("no controller has " + bluetooth::formatAddress(address));
    }
    return id;
}

// The addresses of the devices the controller hciN has links to.
inline std::vector<std::int64_t> linksOf(int devId) {
    const int hci = ::socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC, BTPROTO_HCI);
    if (hci < 0) {
        throw std::runtime_error("no HCI socket");
    }
    constexpr int kMost = 16;
    alignas(hci_conn_list_req)
        std::array<std::byte, sizeof(hci_conn_list_req) + kMost * sizeof(hci_conn_info)>
            buffer{};
    auto* const list = reinterpret_cast<hci_conn_list_req*>(buffer.data());
    list->dev_id = static_cast<std::uint16_t>(devId);
    list->conn_num = kMost;
    const int result = ::ioctl(hci, HCIGETCONNLIST, list);
    ::close(hci);
    if (result < 0) {
        throw std::runtime_error("cannot list hci" + std::to_string(devId) +
                                 "'s links: " + std::strerror(errno));
    }
    std::vector<std::int64_t> peers;
    for (int index = 0; index < list->conn_num; ++index) {
        peers.push_back(bluetooth::bluez::fromBdaddr(list->conn_info[index].bdaddr));
    }
    return peers;
}

// Packets of one type that the kernel passes to or from the controller hciN from now on (events,
// or commands with no event filter), kept until taken.
class HciWatch {
public:
    HciWatch(int devId, int packetType, std::optional<int> event = std::nullopt) {
        fd = ::socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_HCI);
        if (fd < 0) {
            throw std::runtime_error("no HCI socket");
        }
        hci_filter filter{};
        hci_filter_clear(&filter);
        hci_filter_set_ptype(packetType, &filter);
        if (event) {
            hci_filter_set_event(*event, &filter);
        }
        sockaddr_hci at{};
        at.hci_family = AF_BLUETOOTH;
        at.hci_dev = static_cast<std::uint16_t>(devId);
        at.hci_channel = HCI_CHANNEL_RAW;
        if (::setsockopt(fd, SOL_HCI, HCI_FILTER, &filter, sizeof filter) < 0 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) < 0) {
            ::close(fd);
            throw std::runtime_error("cannot watch hci" + std::to_string(devId));
        }
    }
    ~HciWatch() { ::close(fd); }
    HciWatch(const HciWatch&) = delete;
    HciWatch& operator=(const HciWatch&) = delete;

    // Each with its packet type first.
    std::vector<std::vector<std::uint8_t>> take() {
        std::vector<std::vector<std::uint8_t>> packets;
        std::array<std::uint8_t, HCI_MAX_FRAME_SIZE> packet{};
        for (ssize_t size; (size = ::read(fd, packet.data(), packet.size())) > 0;) {
            packets.emplace_back(packet.begin(), packet.begin() + size);
        }
        return packets;
    }

private:
    int fd = -1;
};

// Keeps the rows in the order they came.
class Rows final : public engine::RowSink {
public:
    void append(const engine::Logfile& row) override {
        const std::lock_guard guard(lock);
        rows.push_back(row);
    }
    std::vector<engine::Logfile> all() {
        const std::lock_guard guard(lock);
        return rows;
    }

private:
    std::mutex lock;
    std::vector<engine::Logfile> rows;
};

inline constexpr engine::Pacing kQuick{
    std::chrono::milliseconds(100), std::chrono::milliseconds(100), std::chrono::milliseconds(100),
    std::chrono::milliseconds(100), 5};

inline std::string randomBytes(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

inline fs::path offerFile(const std::string& name, const std::string& content) {
    const fs::path file = fs::temp_directory_path() / name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

inline std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// One whole advertising pass offering file; its rows.
inline std::vector<engine::Logfile> pass(const fs::path& file,
                                         const engine::Pacing& pacing = kQuick) {
    Rows rows;
    engine::PushJobs jobs;
    engine::Bluetoothfunctions worker(file, rows, jobs, pacing);
    worker.running = true;
    worker.start();
    EXPECT_TRUE(eventually([&] { return worker.stopped.load(); }, std::chrono::seconds(150)));
    jobs.waitUntilAllEnded();
    return rows.all();
}

}  // namespace flarecast::vm
