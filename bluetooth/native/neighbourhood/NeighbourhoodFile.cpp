#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/io/Utf8Path.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodKeys.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneKeys.h"

namespace flarecast::bluetooth {

namespace {

using Json = NeighbourhoodKeys::Json;

constexpr int kMaxChannel = 30;
constexpr std::size_t kMaxAdapters = 16;
constexpr std::int64_t kMaxPagingMs = 60000;

// Reads one file; every fault names the key where it was found.
class Reader : private NeighbourhoodKeys {
public:
    using NeighbourhoodKeys::NeighbourhoodKeys;

    Neighbourhood read(const Json& root) const {
        if (!root.is_object()) {
            fail("(top level)", "expected an object");
        }
        Neighbourhood world;
        if (const auto local = root.find("local"); local != root.end()) {
            readLocal(*local, world);
        }
        if (const auto inquiry = root.find("inquiry_ms"); inquiry != root.end()) {
            world.inquiryMs = static_cast<int>(integerIn(*inquiry, "inquiry_ms", 0, 600000));
        }
        if (const auto adapters = root.find("adapters"); adapters != root.end()) {
            readAdapters(*adapters, world);
        }
        if (const auto radio = root.find("radio"); radio != root.end()) {
            world.radio = readRadio(*radio);
        }
        if (const auto devices = root.find("devices"); devices != root.end()) {
            if (!devices->is_array()) {
                fail("devices", "expected an array");
            }
            for (std::size_t i = 0; i < devices->size(); ++i) {
                world.devices.push_back(
                    readDevice((*devices)[i], "devices[" + std::to_string(i) + "]", world));
            }
        }
        return world;
    }

private:
    // The first adapter is the local one: its address is the local address.
    void readAdapters(const Json& adapters, Neighbourhood& world) const {
        if (!adapters.is_array() || adapters.empty() || adapters.size() > kMaxAdapters) {
            fail("adapters",
                 "expected an array of 1 to " + std::to_string(kMaxAdapters) + " adapters");
        }
        for (std::size_t i = 0; i < adapters.size(); ++i) {
            const std::string key = "adapters[" + std::to_string(i) + "]";
            const Json& entry = adapters[i];
            if (!entry.is_object()) {
                fail(key, "expected an object");
            }
            Neighbourhood::Adapter adapter{"hci" + std::to_string(i),
                                           world.localAddress + static_cast<std::int64_t>(i)};
            if (const auto name = entry.find("name"); name != entry.end()) {
                adapter.name = text(*name, key + ".name");
                if (adapter.name.empty() || adapter.name.find_first_of(";=") != std::string::npos) {
                    fail(key + ".name", "expected a name without ';' or '='");
                }
            }
            if (const auto address = entry.find("address"); address != entry.end()) {
                adapter.address = addressOf(*address, key + ".address");
            }
            for (const auto& other : world.adapters) {
                if (other.name == adapter.name) {
                    fail(key + ".name", "another adapter has this name");
                }
            }
            world.adapters.push_back(adapter);
        }
        world.localAddress = world.adapters.front().address;
    }

    Neighbourhood::Radio readRadio(const Json& entry) const {
        if (!entry.is_object()) {
            fail("radio", "expected an object");
        }
        Neighbourhood::Radio radio;
        if (const auto rate = entry.find("bytes_per_second"); rate != entry.end()) {
            radio.bytesPerSecond = integerIn(*rate, "radio.bytes_per_second", 1, 1'000'000'000);
        }
        if (const auto paging = entry.find("paging_ms"); paging != entry.end()) {
            const auto milliseconds = [&](const Json& value) {
                return std::chrono::milliseconds(
                    integerIn(value, "radio.paging_ms", 0, kMaxPagingMs));
            };
            if (paging->is_array()) {
                if (paging->size() != 2) {
                    fail("radio.paging_ms", "expected a time or a range [least, most]");
                }
                radio.pagingMin = milliseconds((*paging)[0]);
                radio.pagingMax = milliseconds((*paging)[1]);
                if (radio.pagingMin > radio.pagingMax) {
                    fail("radio.paging_ms", "expected the least time first");
                }
            } else {
                radio.pagingMin = radio.pagingMax = milliseconds(*paging);
            }
        }
        return radio;
    }
    void readLocal(const Json& local, Neighbourhood& world) const {
        if (!local.is_object()) {
            fail("local", "expected an object");
        }
        if (const auto address = local.find("address"); address != local.end()) {
            world.localAddress = addressOf(*address, "local.address");
        }
        if (const auto ports = local.find("rfcomm_ports"); ports != local.end()) {
            if (!ports->is_object()) {
                fail("local.rfcomm_ports", "expected an object");
            }
            for (const auto& [channel, port] : ports->items()) {
                const std::string key = "local.rfcomm_ports." + channel;
                world.localRfcommPorts[channelOf(channel, key)] =
                    static_cast<std::uint16_t>(integerIn(port, key, 1, 65535));
            }
        }
    }

    Neighbourhood::Device readDevice(const Json& entry, const std::string& key,
                                     const Neighbourhood& world) const {
        if (!entry.is_object()) {
            fail(key, "expected an object");
        }
        Neighbourhood::Device device;
        const auto address = entry.find("address");
        if (address == entry.end()) {
            fail(key + ".address", "missing");
        }
        device.address = addressOf(*address, key + ".address");
        if (const auto name = entry.find("name"); name != entry.end()) {
            device.name = text(*name, key + ".name");
        }
        if (const auto deviceClass = entry.find("class"); deviceClass != entry.end()) {
            device.deviceClass = classOf(*deviceClass, key + ".class");
        }
        if (const auto visible = entry.find("visible"); visible != entry.end()) {
            device.visible = flag(*visible, key + ".visible");
        }
        if (const auto sdp = entry.find("sdp"); sdp != entry.end()) {
            device.sdp = sdpOf(*sdp, key + ".sdp");
        }
        if (const auto services = entry.find("services"); services != entry.end()) {
            if (!services->is_array()) {
                fail(key + ".services", "expected an array");
            }
            for (std::size_t i = 0; i < services->size(); ++i) {
                device.services.push_back(
                    readService((*services)[i], key + ".services[" + std::to_string(i) + "]"));
            }
        }
        if (const auto records = entry.find("records_hex"); records != entry.end()) {
            if (!records->is_array()) {
                fail(key + ".records_hex", "expected an array");
            }
            for (std::size_t i = 0; i < records->size(); ++i) {
                const std::string recordKey = key + ".records_hex[" + std::to_string(i) + "]";
                device.records.push_back(bytesOf(text((*records)[i], recordKey), recordKey));
            }
        }
        if (const auto range = entry.find("in_range_of"); range != entry.end()) {
            device.inRangeOf = adapterNames(*range, key + ".in_range_of", world);
        }
        if (const auto rfcomm = entry.find("rfcomm"); rfcomm != entry.end()) {
            if (!rfcomm->is_object()) {
                fail(key + ".rfcomm", "expected an object");
            }
            for (const auto& [channel, target] : rfcomm->items()) {
                const std::string channelKey = key + ".rfcomm." + channel;
                device.rfcomm[channelOf(channel, channelKey)] = targetOf(target, channelKey);
            }
        }
        return device;
    }

    std::vector<std::string> adapterNames(const Json& names, const std::string& key,
                                          const Neighbourhood& world) const {
        if (!names.is_array() || names.empty()) {
            fail(key, "expected an array of adapter names");
        }
        std::vector<std::string> known;
        for (const auto& adapter : world.adapters) {
            known.push_back(adapter.name);
        }
        if (known.empty()) {
            known.emplace_back("hci0");
        }
        std::vector<std::string> chosen;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string name = text(names[i], key + "[" + std::to_string(i) + "]");
            if (std::find(known.begin(), known.end(), name) == known.end()) {
                fail(key + "[" + std::to_string(i) + "]", "no adapter has this name");
            }
            chosen.push_back(name);
        }
        return chosen;
    }

    Neighbourhood::Service readService(const Json& entry, const std::string& key) const {
        if (!entry.is_object()) {
            fail(key, "expected an object");
        }
        const auto uuid = entry.find("uuid");
        if (uuid == entry.end()) {
            fail(key + ".uuid", "missing");
        }
        const auto channel = entry.find("channel");
        if (channel == entry.end()) {
            fail(key + ".channel", "missing");
        }
        Neighbourhood::Service service{
            uuidOf(text(*uuid, key + ".uuid"), key + ".uuid"), std::nullopt,
            static_cast<int>(integerIn(*channel, key + ".channel", 1, kMaxChannel))};
        if (const auto name = entry.find("name"); name != entry.end()) {
            service.name = text(*name, key + ".name");
        }
        return service;
    }

    int channelOf(const std::string& text, const std::string& key) const {
        int channel = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), channel);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            channel < 1 || channel > kMaxChannel) {
            fail(key, "expected an RFCOMM channel from 1 to " + std::to_string(kMaxChannel));
        }
        return channel;
    }

    std::int64_t addressOf(const Json& value, const std::string& key) const {
        const std::string digits = text(value, key);
        if (digits.size() != 12 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            fail(key, "expected 12 hexadecimal digits");
        }
        return parseAddress(digits);
    }

    int classOf(const Json& value, const std::string& key) const {
        std::int64_t record = -1;
        if (value.is_number_integer()) {
            record = value.get<std::int64_t>();
        } else if (value.is_string()) {
            std::string digits = value.get<std::string>();
            if (digits.starts_with("0x") || digits.starts_with("0X")) {
                digits = digits.substr(2);
            }
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), record, 16);
            if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
                record = -1;
            }
        }
        if (record < 0 || record > 0xFFFFFF) {
            fail(key, "expected a class of device from 0x000000 to 0xffffff");
        }
        return static_cast<int>(record);
    }

    Neighbourhood::Sdp sdpOf(const Json& value, const std::string& key) const {
        const std::string mode = text(value, key);
        if (mode == "records") {
            return Neighbourhood::Sdp::Records;
        }
        if (mode == "none") {
            return Neighbourhood::Sdp::None;
        }
        if (mode == "error") {
            return Neighbourhood::Sdp::Error;
        }
        if (mode == "unreachable") {
            return Neighbourhood::Sdp::Unreachable;
        }
        fail(key, "expected records, none, error or unreachable");
    }

    UUID uuidOf(const std::string& digits, const std::string& key) const {
        try {
            if (digits.size() == 4 || digits.size() == 8) {
                return UUID(digits, true);
            }
            if (digits.size() == 32) {
                return UUID(digits, false);
            }
        } catch (const Error&) {
        }
        fail(key, "expected a UUID of 4, 8 or 32 hexadecimal digits");
    }

    Bytes bytesOf(const std::string& digits, const std::string& key) const {
        if (digits.size() % 2 != 0 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            fail(key, "expected an even number of hexadecimal digits");
        }
        Bytes bytes(digits.size() / 2);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            std::from_chars(digits.data() + 2 * i, digits.data() + 2 * i + 2, bytes[i], 16);
        }
        return bytes;
    }

    Neighbourhood::Target targetOf(const Json& target, const std::string& key) const {
        if (target.is_object()) {
            return readVirtualPhone(*this, target, key);
        }
        if (!target.is_string()) {
            fail(key, "expected tcp:HOST:PORT or the object of a virtual phone");
        }
        return endpointOf(target.get<std::string>(), key);
    }

    Neighbourhood::Endpoint endpointOf(const std::string& target, const std::string& key) const {
        // tcp:HOST:PORT; the host may itself hold colons (an IPv6 address).
        const std::size_t lastColon = target.rfind(':');
        if (!target.starts_with("tcp:") || lastColon <= 4) {
            fail(key, "expected tcp:HOST:PORT");
        }
        const std::string port = target.substr(lastColon + 1);
        int number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (port.empty() || error != std::errc() || end != port.data() + port.size() ||
            number < 1 || number > 65535) {
            fail(key, "expected tcp:HOST:PORT with a port from 1 to 65535");
        }
        return {target.substr(4, lastColon - 4), static_cast<std::uint16_t>(number)};
    }
};

// Ada's phone asks its owner and accepts; Grace's tablet is declined. Both take the time that
// a real link would.
// Most phones take the object after their owner's short prompt; one declines, one has no Object
// Push, one is out of reach, one is reported twice and one is on a slow link. "$" is the folder
// of the phone's received files.
constexpr std::string_view kDemo = R"({
  "inquiry_ms": 3000,
  "devices": [
    { "address": "00123456789a", "name": "Ada's phone", "class": "0x5a020c",
      "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 9 } ],
      "rfcomm": { "9": { "preset": "strict", "prompt_delay_ms": 1500, "save_to": "$/ada",
                         "link_bytes_per_second": 80000, "link_latency_ms": 30 } } },
    { "address": "00123456789b", "name": "Grace's tablet", "class": "0x1a011c",
      "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 4 } ],
      "rfcomm": { "4": { "preset": "strict", "prompt": "decline", "prompt_delay_ms": 3000,
                         "link_latency_ms": 30 } } },
    { "address": "00123456789c", "name": "Headset", "class": "0x240404", "sdp": "none" },
    { "address": "001a2b3c4d5e", "name": "Linus' phone", "class": "0x5a020c",
      "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 12 } ],
      "rfcomm": { "12": { "preset": "strict", "prompt_delay_ms": 800, "save_to": "$/linus",
                          "link_bytes_per_second": 120000, "link_latency_ms": 20 } } },
    { "address": "0024e8f1a2b3", "name": "Margaret's phone", "class": "0x5a020c",
      "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 9 } ],
      "rfcomm": { "9": { "preset": "strict", "prompt_delay_ms": 1200, "save_to": "$/margaret",
                         "link_bytes_per_second": 100000, "link_latency_ms": 25 } } },
    { "address": "001a2b3c4d5e", "name": "Linus' phone", "class": "0x5a020c" },
    { "address": "0019c1d2e3f4", "name": "Alan's laptop", "class": "0x3a010c",
      "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 5 } ],
      "rfcomm": { "5": { "save_to": "$/alan", "link_bytes_per_second": 200000,
                         "link_latency_ms": 10 } } },
    { "address": "0021fe0a1b2c", "name": "Far-away phone", "class": "0x5a020c",
      "sdp": "unreachable" },
    { "address": "0023d4c5b6a7", "name": "Katherine's phone", "class": "0x5a020c",
      "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 9 } ],
      "rfcomm": { "9": { "preset": "strict", "prompt_delay_ms": 1000,
                         "save_to": "$/katherine", "link_bytes_per_second": 12000,
                         "link_latency_ms": 60 } } }
  ]
})";

}  // namespace

Neighbourhood parseNeighbourhood(std::string_view json, const std::string& source) {
    Json root;
    try {
        root = Json::parse(json);
    } catch (const Json::exception& error) {
        // Not only syntax: a number too large for any type is refused as well.
        throw NeighbourhoodError("Neighbourhood file " + source + ": not JSON: " + error.what());
    }
    return Reader(source).read(root);
}

Neighbourhood loadNeighbourhoodFile(const std::string& path) {
    std::ifstream file(pathFromUtf8(path), std::ios::binary);
    if (!file) {
        throw NeighbourhoodError("Neighbourhood file " + path + ": cannot be read");
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    return parseNeighbourhood(contents.str(), path);
}

std::filesystem::path demoInbox() {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    return (error ? std::filesystem::path("/tmp") : temporary) / "flarecast-demo";
}

Neighbourhood demoNeighbourhood() {
    // Every "$" stands in a save_to value, as the start of a path.
    std::string json(kDemo);
    // Escaped as inside a JSON string, whatever the path holds (a Windows path has backslashes).
    std::string folder = Json(utf8Of(demoInbox())).dump();
    folder = folder.substr(1, folder.size() - 2);
    for (std::size_t at = json.find('$'); at != std::string::npos;
         at = json.find('$', at + folder.size())) {
        json.replace(at, 1, folder);
    }
    return parseNeighbourhood(json, "demo");
}

}  // namespace flarecast::bluetooth
