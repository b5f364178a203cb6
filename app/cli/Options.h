#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "app/campaign/Rules.h"

namespace flarecast::cli {

// The command line of flarecast-cli: the file, where the engine finds its devices, the
// campaign's rules, and where its rows and history go.
struct Options {
    std::filesystem::path file;
    // FLARECAST_NEIGHBOURHOOD and FLARECAST_ADAPTER for the native stack, when given.
    std::string neighbourhood;
    std::string adapter;
    campaign::Rules rules;
    std::filesystem::path history;
    std::filesystem::path csv;
    bool json = false;
    bool report = false;
    // The engine's own diagnostics too, on standard error.
    bool verbose = false;

    // Adds the options to app; finish() completes the rules once app has parsed, and throws
    // CLI11's errors for what the options cannot say alone.
    void addTo(CLI::App& app);
    void finish();

private:
    // The paths as given, in UTF-8: CLI11 would read them in the system's narrow encoding.
    std::string fileText;
    std::string historyText;
    std::string csvText;
    int pauseSeconds = 10;
    int pushPauseMs = 0;
    int retryTimes = 3;
    std::string acceptedWindow;
    std::string retryAfter;
    std::string declinedWindow;
    std::vector<std::string> classes;
    bool onlyPhones = false;
    std::vector<std::string> allow;
    std::vector<std::string> block;
    std::vector<std::string> allowNames;
    std::vector<std::string> blockNames;
    std::string hours;
    std::string days;
    // The options whose presence matters, not only their value.
    CLI::Option* pushPauseOption = nullptr;
    CLI::Option* retryOption = nullptr;
};

}  // namespace flarecast::cli
