#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bluetooth/io/Environment.h"
#include "bluetooth/io/Utf8Path.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "obex/phone/VirtualPhoneLauncher.h"
#include "tests/common/FreePort.h"
#include "tests/common/JsonText.h"
#include "tests/common/TempFolder.h"

namespace flarecast::obex::testing {

namespace fs = std::filesystem;

// The neighbourhood of this suite, read from a file as the program reads its own: one device
// per behaviour, its channel 9 a virtual phone with the keys given, saving to a folder named
// after it. Device "program" leads to a TCP port kept for a flarecast-phone process.
struct PhoneNeighbourhood {
    flarecast::testing::TempFolder root;
    std::uint16_t programPort = 0;
    std::map<std::string, std::string> urls;

    PhoneNeighbourhood() {
        const std::map<std::string, std::string> phones = {
            {"plain", R"({"save_to": "$"})"},
            {"names", R"({"save_to": "$"})"},
            {"refuse_connect", R"({"refuse_connect": "0xD3"})"},
            {"refuse_put", R"({"refuse_put": 224, "save_to": "$"})"},
            {"slow_answer", R"({"answer_delay_ms": 40})"},
            {"drop", R"({"drop_after_bytes": 1000, "save_to": "$"})"},
            {"password", R"({"password": "1234"})"},
            {"small_packets", R"({"max_packet": 300, "save_to": "$"})"},
            {"slow_link", R"({"link_bytes_per_second": 200000, "link_latency_ms": 5})"},
            {"strict", R"({"preset": "strict", "save_to": "$"})"},
            {"strict_session", R"({"preset": "strict", "save_to": "$"})"},
            {"strict_length", R"({"preset": "strict", "save_to": "$"})"},
            {"plain_length", R"({"save_to": "$"})"},
            {"prompt_accept", R"({"preset": "strict", "prompt_delay_ms": 40})"},
            {"prompt_decline", R"({"preset": "strict", "prompt": "decline"})"},
            {"prompt_ignore",
             R"({"preset": "strict", "prompt": "ignore", "prompt_timeout_ms": 40})"},
        };
        programPort = flarecast::testing::freeLoopbackPort();
        std::string devices;
        int number = 1;
        const auto add = [&](const std::string& name, const std::string& target) {
            char address[13];
            std::snprintf(address, sizeof address, "0012345600%02x", number++);
            devices += std::string(devices.empty() ? "" : ",\n") + R"({"address": ")" + address +
                       R"(", "name": ")" + name + R"(", "rfcomm": {"9": )" + target + "}}";
            urls[name] = std::string("btgoep://") + address + ":9";
        };
        for (auto [name, keys] : phones) {
            const std::size_t folder = keys.find('$');
            if (folder != std::string::npos) {
                keys.replace(folder, 1,
                             flarecast::testing::jsonEscaped(bluetooth::utf8Of(root.path / name)));
            }
            add(name, keys);
        }
        add("program", "\"tcp:127.0.0.1:" + std::to_string(programPort) + "\"");
        const fs::path file = root.path / "neighbourhood.json";
        std::ofstream(file) << R"({"devices": [)" << devices << "]}";
        bluetooth::setEnvironmentVariable("FLARECAST_NEIGHBOURHOOD", bluetooth::utf8Of(file));
        bluetooth::installVirtualPhoneHost(std::make_shared<VirtualPhoneLauncher>());
    }

    fs::path folder(const std::string& phone) const { return root.path / phone; }
    const std::string& url(const std::string& phone) const { return urls.at(phone); }

    static PhoneNeighbourhood& get() {
        static PhoneNeighbourhood world;
        return world;
    }
};

}  // namespace flarecast::obex::testing
