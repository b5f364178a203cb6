#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace flarecast::bluetooth {

// How a built-in virtual phone behaves, as a neighbourhood file or the flarecast-phone options
// describe it.
struct VirtualPhoneProfile {
    enum class Preset {
        Plain,
        // Checks objects the way the Object Push receivers of today's phones do.
        Strict,
    };
    enum class Prompt { Accept, Decline, Ignore };

    static constexpr int kMinPacket = 255;
    static constexpr int kMaxPacket = 0xFFFF;
    static constexpr int kMinRefusal = 0xC0;
    static constexpr int kMaxRefusal = 0xFF;
    static constexpr int kMaxMilliseconds = 600000;
    static constexpr int kMaxSessions = 256;

    Preset preset = Preset::Plain;
    // Without a folder, received objects are read and thrown away.
    std::optional<std::string> saveTo;
    std::optional<int> refuseConnect;
    std::optional<int> refusePut;
    std::chrono::milliseconds answerDelay{0};
    std::optional<std::int64_t> dropAfterBytes;
    std::optional<std::string> password;
    int maxPacket = 0x2000;
    // Clients served at once; one more is closed at once.
    int maxSessions = 8;
    // Without a rate, only the latency slows the link.
    std::optional<std::int64_t> linkBytesPerSecond;
    std::chrono::milliseconds linkLatency{0};
    Prompt prompt = Prompt::Accept;
    std::chrono::milliseconds promptDelay{0};
    std::chrono::milliseconds promptTimeout{50000};
};

}  // namespace flarecast::bluetooth
