#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

#include "bluetooth/native/neighbourhood/VirtualPhoneProfile.h"

namespace flarecast::tools {

// The command line of flarecast-phone: the keys of a virtual phone in a neighbourhood file, as
// options, and where the phone listens.
struct PhoneOptions {
    bluetooth::VirtualPhoneProfile profile;
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;

    // Adds the options to app; finish() completes profile once app has parsed.
    void addTo(CLI::App& app);
    void finish();

private:
    std::string preset = "plain";
    std::string prompt = "accept";
    int answerDelayMs = 0;
    int linkLatencyMs = 0;
    int promptDelayMs = 0;
    int promptTimeoutMs = 50000;
};

}  // namespace flarecast::tools
