// Pushing 16 MiB to another project's OBEX server (obex_tcp) over loopback: our client session
// next to Debian's obexftp client, same file, same server, one run.
//
// What each is charged: ours from before its socket connects to after the session is closed,
// reading the file as the push job does; obexftp from its process start to its exit, start-up,
// connect and disconnect included. The fixed cost of a push is measured apart with a one-byte file,
// the same way for both, and taken out of the per-MiB figures: what is left is what moving the
// object costs each, and BM_Compare prints the two side by side with their ratio. The whole
// pushes, fixed costs included, are reported too (cpu_ms_per_MiB_gross).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "obex/OBEXConnector.h"
#include "tests/common/ObexTcpServer.h"
#include "tests/common/OwnNetwork.h"

using namespace flarecast;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSize = 16 * 1024 * 1024;
// The file whose push costs what any push costs, whatever its size.
constexpr std::size_t kTiny = 1;
constexpr double kMiB = 16.0;
constexpr int kIterations = 5;

// The cost of one kind of push, summed over its runs.
struct Cost {
    double cpu = 0;
    double wall = 0;
    int runs = 0;

    double cpuPerRun() const { return runs > 0 ? cpu / runs : 0; }
    double wallPerRun() const { return runs > 0 ? wall / runs : 0; }
};

struct Setup {
    fs::path folder = fs::temp_directory_path() / "flarecast-obex-bench";
    fs::path serverFolder = folder / "server";
    fs::path file = folder / "payload.bin";
    fs::path tinyFile = folder / "tiny.bin";
    // By client (with the size of its writes for the whole file) and file size.
    std::map<std::pair<std::string, std::size_t>, Cost> costs;

    Setup() {
        // The server's port is fixed; where a namespace of our own is refused, share the host's.
        if (const auto refused = testing::enterOwnNetwork()) {
            std::fprintf(stderr, "obex_tcp runs in the host's network: %s\n", refused->c_str());
        }
        fs::remove_all(folder);
        fs::create_directories(serverFolder);
        bluetooth::Bytes contents(kSize);
        std::mt19937 random(7);
        for (auto& byte : contents) {
            byte = static_cast<std::uint8_t>(random());
        }
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents.data()),
                   static_cast<std::streamsize>(contents.size()));
        std::ofstream(tinyFile, std::ios::binary).put('x');
        bluetooth::installNativeStack(
            std::make_unique<bluetooth::NeighbourhoodStack>(bluetooth::parseNeighbourhood(
                R"({ "devices": [ { "address": "00123456789a",
                     "rfcomm": { "9": "tcp:127.0.0.1:650" } } ] })",
                "bench")));
    }
    ~Setup() { fs::remove_all(folder); }

    const fs::path& fileOf(std::size_t size) const { return size == kTiny ? tinyFile : file; }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

// Whether a socket of this network listens on the server's port. Neither client is charged the
// wait for the server, and nothing connects before the push: the server takes one session only.
bool listening() {
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", testing::ObexTcpServer::kPort);
    for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        std::ifstream lines(table);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (local.ends_with(port) && state == "0A") {
                return true;
            }
        }
    }
    return false;
}

bool waitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!listening()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool serverGotWhole(testing::ObexTcpServer& server, std::size_t size) {
    const fs::path received = setup().serverFolder / setup().fileOf(size).filename();
    std::error_code error;
    const bool whole = server.finished() && fs::file_size(received, error) == size && !error;
    fs::remove(received, error);
    return whole;
}

// One whole push by our client, reading the file in pieces of writeSize as the push job does.
void pushOurs(const fs::path& file, std::size_t writeSize) {
    auto session = obex::OBEXConnector::openSession("btgoep://00123456789a:9");
    session->connect(nullptr);
    obex::HeaderSetImpl headers;
    headers.setHeader(obex::HeaderSet::NAME, file.filename().string());
    headers.setHeader(obex::HeaderSet::LENGTH, static_cast<std::int64_t>(fs::file_size(file)));
    auto put = session->put(&headers);
    const auto out = put->openOutputStream();
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(writeSize);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        out->write(std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                             static_cast<std::size_t>(in.gcount())));
    }
    put->close();
    session->disconnect(nullptr);
    session->close();
}

// One whole run of obexftp; its CPU seconds, or nothing when it did not run.
std::optional<double> pushObexftp(const fs::path& file) {
    const std::string path = file.string();
    std::vector<char*> argv = {const_cast<char*>("obexftp"),
                               const_cast<char*>("-n"),
                               const_cast<char*>("127.0.0.1:650"),
                               const_cast<char*>("-U"),
                               const_cast<char*>("none"),
                               const_cast<char*>("-H"),
                               const_cast<char*>("-S"),
                               const_cast<char*>("-p"),
                               const_cast<char*>(path.c_str()),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, "/usr/bin/obexftp", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    rusage usage{};
    int status = 0;
    if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) {
        return std::nullopt;
    }
    return cpuSeconds(usage);
}

void report(benchmark::State& state, const Cost& cost, std::size_t size) {
    if (size == kTiny) {
        state.counters["cpu_ms_per_push"] = benchmark::Counter(1e3 * cost.cpuPerRun());
        return;
    }
    state.counters["MiB_per_s"] = benchmark::Counter(kMiB / cost.wallPerRun());
    state.counters["cpu_ms_per_MiB_gross"] = benchmark::Counter(1e3 * cost.cpuPerRun() / kMiB);
}

// Arguments: the file's size, and the size of each write (2048 bytes as the push job writes).
void BM_Push_Flarecast(benchmark::State& state) {
    Setup& the = setup();
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto writeSize = static_cast<std::size_t>(state.range(1));
    Cost cost;
    for (auto _ : state) {
        testing::ObexTcpServer server(the.serverFolder, FLARECAST_REUSE_ADDRESS_PRELOAD);
        if (!waitUntilListening()) {
            state.SkipWithError("obex_tcp did not listen");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processCpuSeconds();
        pushOurs(the.fileOf(size), writeSize);
        cost.cpu += processCpuSeconds() - cpuStart;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cost.wall += seconds;
        ++cost.runs;
        state.SetIterationTime(seconds);
        if (!serverGotWhole(server, size)) {
            state.SkipWithError("the server did not receive the whole file");
            return;
        }
    }
    report(state, cost, size);
    the.costs[{size == kTiny ? "Flarecast" : "Flarecast/" + std::to_string(writeSize), size}] =
        cost;
}

void BM_Push_Obexftp(benchmark::State& state) {
    Setup& the = setup();
    const auto size = static_cast<std::size_t>(state.range(0));
    Cost cost;
    for (auto _ : state) {
        testing::ObexTcpServer server(the.serverFolder, FLARECAST_REUSE_ADDRESS_PRELOAD);
        if (!waitUntilListening()) {
            state.SkipWithError("obex_tcp did not listen");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        const auto cpu = pushObexftp(the.fileOf(size));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!cpu) {
            state.SkipWithError("obexftp did not run");
            return;
        }
        cost.cpu += *cpu;
        cost.wall += seconds;
        ++cost.runs;
        state.SetIterationTime(seconds);
        if (!serverGotWhole(server, size)) {
            state.SkipWithError("the server did not receive the whole file");
            return;
        }
    }
    report(state, cost, size);
    the.costs[{"Obexftp", size}] = cost;
}

// CPU per MiB of each client with its fixed cost (the one-byte push) taken out, and ours over
// obexftp's. Needs the pushes above to have run first.
void BM_Compare(benchmark::State& state) {
    Setup& the = setup();
    const auto perMiB = [&the](const std::string& client,
                               const std::string& writes) -> std::optional<double> {
        const auto whole = the.costs.find({client + writes, kSize});
        const auto tiny = the.costs.find({client, kTiny});
        if (whole == the.costs.end() || tiny == the.costs.end()) {
            return std::nullopt;
        }
        return 1e3 * (whole->second.cpuPerRun() - tiny->second.cpuPerRun()) / kMiB;
    };
    const auto ours = perMiB("Flarecast", "/2048");
    const auto ours64k = perMiB("Flarecast", "/65536");
    const auto theirs = perMiB("Obexftp", "");
    for (auto _ : state) {
    }
    if (!ours || !theirs) {
        state.SkipWithError("the one-byte and the 16 MiB pushes of both clients must run first");
        return;
    }
    state.counters["ours_cpu_ms_per_MiB"] = *ours;
    if (ours64k) {
        state.counters["ours_64k_writes_cpu_ms_per_MiB"] = *ours64k;
    }
    state.counters["obexftp_cpu_ms_per_MiB"] = *theirs;
    state.counters["ours_over_obexftp"] = *ours / *theirs;
}

}  // namespace

BENCHMARK(BM_Push_Flarecast)
    ->ArgNames({"bytes", "write"})
    ->Args({kTiny, 2048})
    ->Args({kSize, 2048})
    ->Args({kSize, 64 * 1024})
    ->UseManualTime()
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Push_Obexftp)
    ->ArgNames({"bytes"})
    ->Arg(kTiny)
    ->Arg(kSize)
    ->UseManualTime()
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compare)->Iterations(1);
