#include "bluetooth/native/neighbourhood/VirtualPhoneKeys.h"

#include <charconv>
#include <functional>

namespace flarecast::bluetooth {

namespace {

using Json = NeighbourhoodKeys::Json;
using Profile = VirtualPhoneProfile;

// The reader of one entry: each key is read when present, with its key name for faults.
class PhoneReader {
public:
    PhoneReader(const NeighbourhoodKeys& keys, const Json& entry, std::string key)
        : keys(keys), entry(entry), key(std::move(key)) {}

    void when(const char* name, const std::function<void(const Json&, const std::string&)>& read) {
        if (const auto value = entry.find(name); value != entry.end()) {
            read(*value, key + "." + name);
        }
    }

    std::chrono::milliseconds milliseconds(const Json& value, const std::string& at) const {
        return std::chrono::milliseconds(keys.integerIn(value, at, 0, Profile::kMaxMilliseconds));
    }

    // A number, or text such as "0xC3".
    int responseCode(const Json& value, const std::string& at) const {
        std::int64_t code = -1;
        if (value.is_number_integer()) {
            code = keys.integerIn(value, at, 0, Profile::kMaxRefusal);
        } else if (value.is_string()) {
            std::string digits = value.get<std::string>();
            int base = 10;
            if (digits.starts_with("0x") || digits.starts_with("0X")) {
                digits = digits.substr(2);
                base = 16;
            }
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
            if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
                code = -1;
            }
        }
        if (code < Profile::kMinRefusal || code > Profile::kMaxRefusal) {
            keys.fail(at, "expected a refusing response code from 0xC0 to 0xFF");
        }
        return static_cast<int>(code);
    }

    template <typename Choice>
    Choice oneOf(const Json& value, const std::string& at,
                 std::initializer_list<std::pair<const char*, Choice>> choices,
                 const char* expected) const {
        const std::string word = keys.text(value, at);
        for (const auto& [name, choice] : choices) {
            if (word == name) {
                return choice;
            }
        }
        keys.fail(at, expected);
    }

private:
    const NeighbourhoodKeys& keys;
    const Json& entry;
    const std::string key;
};

}  // namespace

VirtualPhoneProfile readVirtualPhone(const NeighbourhoodKeys& keys, const Json& entry,
                                     const std::string& key) {
    Profile profile;
    PhoneReader r(keys, entry, key);
    r.when("preset", [&](const Json& v, const std::string& at) {
        profile.preset = r.oneOf<decltype(profile.preset)>(
            v, at, {{"plain", Profile::Preset::Plain}, {"strict", Profile::Preset::Strict}},
            "expected plain or strict");
    });
    r.when("save_to", [&](const Json& v, const std::string& at) {
        profile.saveTo = keys.text(v, at);
        if (profile.saveTo->empty()) {
            keys.fail(at, "expected a folder");
        }
    });
    r.when("refuse_connect", [&](const Json& v, const std::string& at) {
        profile.refuseConnect = r.responseCode(v, at);
    });
    r.when("refuse_put", [&](const Json& v, const std::string& at) {
        profile.refusePut = r.responseCode(v, at);
    });
    r.when("answer_delay_ms", [&](const Json& v, const std::string& at) {
        profile.answerDelay = r.milliseconds(v, at);
    });
    r.when("drop_after_bytes", [&](const Json& v, const std::string& at) {
        profile.dropAfterBytes = keys.integerIn(v, at, 0, INT64_MAX);
    });
    r.when("password",
           [&](const Json& v, const std::string& at) { profile.password = keys.text(v, at); });
    r.when("max_packet", [&](const Json& v, const std::string& at) {
        profile.maxPacket =
            static_cast<int>(keys.integerIn(v, at, Profile::kMinPacket, Profile::kMaxPacket));
    });
    r.when("max_sessions", [&](const Json& v, const std::string& at) {
        profile.maxSessions = static_cast<int>(keys.integerIn(v, at, 1, Profile::kMaxSessions));
    });
    r.when("link_bytes_per_second", [&](const Json& v, const std::string& at) {
        profile.linkBytesPerSecond = keys.integerIn(v, at, 1, INT64_MAX);
    });
    r.when("link_latency_ms", [&](const Json& v, const std::string& at) {
        profile.linkLatency = r.milliseconds(v, at);
    });
    r.when("prompt", [&](const Json& v, const std::string& at) {
        profile.prompt = r.oneOf<decltype(profile.prompt)>(v, at,
                                                           {{"accept", Profile::Prompt::Accept},
                                                            {"decline", Profile::Prompt::Decline},
                                                            {"ignore", Profile::Prompt::Ignore}},
                                                           "expected accept, decline or ignore");
    });
    r.when("prompt_delay_ms", [&](const Json& v, const std::string& at) {
        profile.promptDelay = r.milliseconds(v, at);
    });
    r.when("prompt_timeout_ms", [&](const Json& v, const std::string& at) {
        profile.promptTimeout = r.milliseconds(v, at);
    });
    return profile;
}

}  // namespace flarecast::bluetooth
