// Whole passes of the engine in crowded rooms of the simulated neighbourhood, next to the least
// time their radio model allows. Every room's phones are one strict virtual phone in a process of
// its own, whose owner answers each session after half a second; the devices are its doors.
//
// A radio pages one device at a time and shares its rate among all its links; a search and the
// connection right after it share one page, as the kernel keeps the link up between them. So a
// pass can end no sooner than the first device is found, every device paged in turn, then the last
// one's owner and file; nor sooner than the first page and owner, then every file through the air.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/Bluetoothfunctions.h"
#include "app/engine/PushJobs.h"
#include "app/engine/RowSink.h"
#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "obex/OBEXConnector.h"
#include "obex/headers/ResponseCodes.h"
#include "tests/common/SwappableStack.h"

extern char** environ;  // NOLINT: handed on to the phone's process

using namespace flarecast;
namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

namespace {

constexpr std::size_t kFileSize = 100 * 1000;
constexpr double kOwnerSeconds = 0.5;
// 2.1 Mbit/s.
constexpr double kAirBytesPerSecond = 262500;
// Half the page scan interval of a phone that scans every 1.28 s.
constexpr double kPageSeconds = 0.64;
constexpr double kInquirySeconds = 10.24;

// The strict phone in a process of its own, so that the pass's threads and memory are the
// engine's alone.
class PhoneProcess {
public:
    explicit PhoneProcess(std::vector<std::string> args = {"--preset", "strict",
                                                           "--prompt-delay-ms", "500"}) {
        int out[2];
        if (::pipe(out) != 0) {
            throw std::runtime_error("no pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), {FLARECAST_PHONE_PROGRAM, "--port", "0", "--max-sessions", "64"});
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (failed != 0) {
            ::close(out[0]);
            throw std::runtime_error("the phone program did not start");
        }
        // It says where it listens in its first line.
        std::string line;
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        ::close(out[0]);
        const auto colon = line.rfind(':');
        if (!line.starts_with("Listening on ") || colon == std::string::npos) {
            stop();
            throw std::runtime_error("the phone program said: " + line);
        }
        port = static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
    }
    ~PhoneProcess() { stop(); }
    PhoneProcess(const PhoneProcess&) = delete;
    PhoneProcess& operator=(const PhoneProcess&) = delete;

    std::uint16_t port = 0;

private:
    void stop() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            pid = 0;
        }
    }
    pid_t pid = 0;
};

struct Room {
    int devices = 50;
    // Every so many devices offers Object Push; the others have none.
    int everyWithObjectPush = 1;
    int adapters = 1;
    bool radio = true;
};

std::string neighbourhoodOf(const Room& room, std::uint16_t phonePort) {
    std::string json =
        R"({ "inquiry_ms": )" + std::to_string(static_cast<int>(kInquirySeconds * 1000)) + ",";
    if (room.adapters > 1) {
        json += R"( "adapters": [ )";
        for (int i = 0; i < room.adapters; ++i) {
            json +=
                std::string(i > 0 ? ", " : "") + R"({ "name": "hci)" + std::to_string(i) + R"(" })";
        }
        json += " ],";
    }
    if (room.radio) {
        json += R"( "radio": { "bytes_per_second": )" +
                std::to_string(static_cast<int>(kAirBytesPerSecond)) + R"(, "paging_ms": )" +
                std::to_string(static_cast<int>(kPageSeconds * 1000)) + " },";
    }
    json += R"( "devices": [ )";
    for (int i = 0; i < room.devices; ++i) {
        const bool push = i % room.everyWithObjectPush == 0;
        json += std::string(i > 0 ? ",\n" : "") + R"({ "address": ")" +
                bluetooth::formatAddress(0x001234000000 + i) + R"(", "name": "Phone )" +
                std::to_string(i) + "\", " +
                (push ? R"("services": [ { "uuid": "1105", "channel": 9 } ],
                         "rfcomm": { "9": "tcp:127.0.0.1:)" +
                            std::to_string(phonePort) + "\" } }"
                      : R"("sdp": "none" })");
    }
    return json + " ] }";
}

// The least time of a pass through one adapter's radio serving count devices, all with Object
// Push, found from the first report of the inquiry on.
double leastSeconds(int devices, int adapters) {
    const double perAdapter = static_cast<double>(devices) / adapters;
    const double firstFound = kInquirySeconds / (devices + 1);
    const double oneFile = kFileSize / kAirBytesPerSecond;
    const double paging = perAdapter * kPageSeconds + kOwnerSeconds + oneFile;
    const double air = kPageSeconds + kOwnerSeconds + perAdapter * oneFile;
    return firstFound + std::max(paging, air);
}

class CountingRows final : public engine::RowSink {
public:
    void append(const engine::Logfile& row) override {
        const std::lock_guard guard(lock);
        ++rows;
        sent += row.sent ? 1 : 0;
    }
    int rows = 0;
    int sent = 0;
    std::mutex lock;
};

testing::SwappableStack& theStack() {
    static testing::SwappableStack* stack = [] {
        auto owned = std::make_unique<testing::SwappableStack>(
            std::make_shared<bluetooth::NeighbourhoodStack>(bluetooth::Neighbourhood{}));
        auto* raw = owned.get();
        bluetooth::installNativeStack(std::move(owned));
        return raw;
    }();
    return *stack;
}

int threadCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Counts the process's threads while a pass runs; a measurement only, so it looks every few ms.
class ThreadPeak {
public:
    ThreadPeak()
        : sampler([this](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  // Not counting the sampler itself.
                  peak = std::max(peak.load(), threadCount() - 1);
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    int value() {
        sampler.request_stop();
        sampler.join();
        return peak;
    }

private:
    std::atomic<int> peak{0};
    std::jthread sampler;
};

// The engine prints a line per step; a thousand devices' worth would drown the results.
class QuietOutput {
public:
    QuietOutput() : saved(::dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietOutput() {
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }

private:
    int saved;
};

fs::path offerFile() {
    const fs::path file = fs::temp_directory_path() / "flarecast-crowded-room-offer.txt";
    std::ofstream(file, std::ios::binary) << std::string(kFileSize, 'x');
    return file;
}

void runRoom(benchmark::State& state, const Room& room) {
    PhoneProcess phone;
    const fs::path file = offerFile();
    auto previous = theStack().swap(std::make_shared<bluetooth::NeighbourhoodStack>(
        bluetooth::parseNeighbourhood(neighbourhoodOf(room, phone.port), "bench")));
    engine::Pacing pacing;
    pacing.pushPause = std::chrono::milliseconds(0);
    pacing.serveWhileInquiring = true;
    double wall = 0;
    int peakThreads = 0;
    CountingRows rows;
    for (auto _ : state) {
        // The peak of resident memory counts from here on.
        std::ofstream("/proc/self/clear_refs") << "5";
        ThreadPeak threads;
        const auto start = std::chrono::steady_clock::now();
        {
            QuietOutput quiet;
            engine::PushJobs jobs(pacing.pushSlots);
            engine::Bluetoothfunctions worker(file, rows, jobs, pacing);
            worker.running = true;
            worker.start();
            worker.waitUntilStopped(std::chrono::hours(1));
            jobs.waitUntilAllEnded();
        }
        const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
        peakThreads = std::max(peakThreads, threads.value());
        state.SetIterationTime(seconds);
        wall += seconds;
    }
    theStack().swap(previous);
    fs::remove(file);
    const int pushes = (room.devices + room.everyWithObjectPush - 1) / room.everyWithObjectPush;
    const auto iterations = static_cast<int>(state.iterations());
    if (rows.sent != pushes * iterations) {
        state.SkipWithError(
            ("sent " + std::to_string(rows.sent) + " of " + std::to_string(pushes * iterations))
                .c_str());
    }
    const double meanWall = wall / iterations;
    state.counters["wall_s"] = meanWall;
    state.counters["peak_threads"] = peakThreads;
    state.counters["peak_rss_MiB"] = static_cast<double>(peakResidentKiB()) / 1024;
    if (room.radio && room.everyWithObjectPush == 1) {
        const double least = leastSeconds(room.devices, room.adapters);
        state.counters["least_s"] = least;
        state.counters["wall_per_least"] = meanWall / least;
        if (room.adapters > 1) {
            const double halfOfOne = leastSeconds(room.devices, 1) / room.adapters;
            state.counters["wall_per_share_of_one"] = meanWall / halfOfOne;
        }
    }
}

// Fifty phones, one radio, no pause between push starts.
void BM_CrowdedRoom_OneAdapter(benchmark::State& state) {
    runRoom(state, Room{});
}

// The same room through two adapters, each with its own radio and five slots.
void BM_CrowdedRoom_TwoAdapters(benchmark::State& state) {
    runRoom(state, Room{.adapters = 2});
}

// A thousand devices, a hundred of them with Object Push; what the pass costs in threads and
// memory. No paging, so the searches come as fast as the engine takes them.
void BM_ThousandDevices(benchmark::State& state) {
    runRoom(state, Room{.devices = 1000, .everyWithObjectPush = 10, .radio = false});
}

// One object pushed to a phone without an owner's prompt; its seconds.
double pushSeconds(const std::string& url, const bluetooth::Bytes& contents) {
    const auto start = std::chrono::steady_clock::now();
    const auto session = obex::OBEXConnector::openSession(url);
    session->connect(nullptr);
    obex::HeaderSetImpl headers;
    headers.setHeader(obex::HeaderSet::NAME, std::string("offer.bin"));
    headers.setHeader(obex::HeaderSet::LENGTH, static_cast<std::int64_t>(contents.size()));
    const auto put = session->put(&headers);
    const auto out = put->openOutputStream();
    for (std::size_t at = 0; at < contents.size(); at += 2048) {
        out->write(
            std::span(contents).subspan(at, std::min<std::size_t>(2048, contents.size() - at)));
    }
    put->close();
    session->disconnect(nullptr);
    session->close();
    if (put->getResponseCode() != obex::ResponseCodes::OBEX_HTTP_OK) {
        throw std::runtime_error("the phone did not take the object");
    }
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

// Two pushes through one radio at once each take about twice as long as one alone.
void BM_SharedRadio_TwoPushesAtOnce(benchmark::State& state) {
    PhoneProcess phone(std::vector<std::string>{});
    const std::string target =
        R"("rfcomm": { "9": "tcp:127.0.0.1:)" + std::to_string(phone.port) + R"(" })";
    auto previous = theStack().swap(std::make_shared<bluetooth::NeighbourhoodStack>(
        bluetooth::parseNeighbourhood(R"({ "radio": { "bytes_per_second": 262500 }, "devices": [
            { "address": "0012340000a1", )" +
                                          target + R"( },
            { "address": "0012340000a2", )" +
                                          target + R"( } ] })",
                                      "bench")));
    const bluetooth::Bytes contents(512 * 1024, 0x5A);
    double alone = 0;
    double together = 0;
    for (auto _ : state) {
        alone += pushSeconds("btgoep://0012340000a1:9", contents);
        double other = 0;
        std::thread second([&] { other = pushSeconds("btgoep://0012340000a2:9", contents); });
        const double first = pushSeconds("btgoep://0012340000a1:9", contents);
        second.join();
        together += (first + other) / 2;
        state.SetIterationTime(first);
    }
    theStack().swap(previous);
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["alone_s"] = alone / iterations;
    state.counters["each_of_two_s"] = together / iterations;
    state.counters["two_per_alone"] = together / alone;
}

}  // namespace

BENCHMARK(BM_SharedRadio_TwoPushesAtOnce)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_CrowdedRoom_OneAdapter)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_CrowdedRoom_TwoAdapters)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ThousandDevices)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
