#pragma once

// What tests of the engine share: a row sink, files to push, the quick pacing, and whole passes
// with what they printed.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine/Bluetoothfunctions.h"
#include "app/engine/Pacing.h"
#include "app/engine/RowSink.h"
#include "tests/common/Eventually.h"

namespace flarecast::engine {

// Keeps the rows in the order they came.
class Rows final : public RowSink {
public:
    void append(const Logfile& row) override {
        const std::lock_guard guard(lock);
        rows.push_back(row);
    }
    std::vector<Logfile> all() {
        const std::lock_guard guard(lock);
        return rows;
    }

private:
    std::mutex lock;
    std::vector<Logfile> rows;
};

inline std::filesystem::path fileWith(const std::filesystem::path& folder, const std::string& name,
                                      const std::string& text) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << text;
    return folder / name;
}

// The engine's waits, short enough for tests.
inline constexpr Pacing kQuick{std::chrono::milliseconds(1), std::chrono::milliseconds(1),
                               std::chrono::milliseconds(1), std::chrono::milliseconds(1), 5};

// Captures what the engine prints while it lives. Left untaken, as when an assertion ends the
// test early, it hands the text back to standard output with the failure's report in it.
class Printed {
public:
    Printed() { ::testing::internal::CaptureStdout(); }
    ~Printed() {
        if (!taken) {
            std::cout << ::testing::internal::GetCapturedStdout() << std::flush;
        }
    }
    Printed(const Printed&) = delete;
    Printed& operator=(const Printed&) = delete;

    std::string take() {
        taken = true;
        return ::testing::internal::GetCapturedStdout();
    }

private:
    bool taken = false;
};

// One pass at the quick pacing, to its end and the end of its push jobs: the rows in the order
// they came and what the pass printed.
struct Pass {
    std::vector<Logfile> rows;
    std::string printed;
};

inline Pass runPass(const std::filesystem::path& file) {
    Rows rows;
    ::testing::internal::CaptureStdout();
    {
        PushJobs jobs(kQuick.pushSlots);
        Bluetoothfunctions worker(file, rows, jobs, kQuick);
        worker.running = true;
        worker.start();
        EXPECT_TRUE(testing::eventually([&] { return worker.stopped.load(); }))
            << "the pass did not end";
        jobs.waitUntilAllEnded();
    }
    return {rows.all(), ::testing::internal::GetCapturedStdout()};
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Threads print whole lines in any interleaving; each thread's own lines keep their order.
inline ::testing::AssertionResult printedInOrder(const std::string& printed,
                                                 const std::vector<std::string>& wanted) {
    const auto lines = linesOf(printed);
    auto at = lines.begin();
    for (const auto& line : wanted) {
        at = std::find(at, lines.end(), line);
        if (at == lines.end()) {
            return ::testing::AssertionFailure()
                   << "\"" << line << "\" is missing or out of order in:\n"
                   << printed;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace flarecast::engine
