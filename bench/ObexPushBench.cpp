// Pushing 16 MiB to another project's OBEX server (obex_tcp) over loopback: our client session
// next to Debian's obexftp client, same file, same server, one run.
//
// What each is charged: ours from before its socket connects to after the session is closed,
// reading the file as the push job does; obexftp from its process start to its exit, start-up,
// connect and disconnect included. Neither is charged the wait for the server to listen.
// BM_Push16MiB_* report whole pushes (cpu_ms_per_MiB_gross). BM_Compare takes each client's fixed
// cost, measured with a one-byte file, out of its 16 MiB push, which leaves what moving the
// object costs each, and prints the two side by side with their ratio.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
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

struct Setup {
    fs::path folder = fs::temp_directory_path() / "flarecast-obex-bench";
    fs::path serverFolder = folder / "server";
    fs::path file = folder / "payload.bin";
    fs::path tinyFile = folder / "tiny.bin";

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

enum class Client { Ours, Obexftp };

struct Sample {
    double cpu = 0;
    double wall = 0;
};

// One push of the file of this size to a server of its own; what it cost the client. A failure
// is a runtime error.
Sample push(Client client, std::size_t size, std::size_t writeSize = 2048) {
    Setup& the = setup();
    testing::ObexTcpServer server(the.serverFolder, FLARECAST_REUSE_ADDRESS_PRELOAD);
    if (!waitUntilListening()) {
        throw std::runtime_error("obex_tcp did not listen");
    }
    Sample sample;
    const auto start = std::chrono::steady_clock::now();
    if (client == Client::Ours) {
        const double cpuStart = processCpuSeconds();
        pushOurs(the.fileOf(size), writeSize);
        sample.cpu = processCpuSeconds() - cpuStart;
    } else {
        const auto cpu = pushObexftp(the.fileOf(size));
        if (!cpu) {
            throw std::runtime_error("obexftp did not run");
        }
        sample.cpu = *cpu;
    }
    sample.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!serverGotWhole(server, size)) {
        throw std::runtime_error("the server did not receive the whole file");
    }
    return sample;
}

// Whole pushes of 16 MiB by one client; the argument is the size of our client's writes, 2048
// bytes as the push job writes, or larger.
void pushes(benchmark::State& state, Client client) {
    Sample sum;
    try {
        for (auto _ : state) {
            const Sample sample =
                push(client, kSize,
                     client == Client::Ours ? static_cast<std::size_t>(state.range(0)) : 0);
            sum.cpu += sample.cpu;
            sum.wall += sample.wall;
            state.SetIterationTime(sample.wall);
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["MiB_per_s"] = kMiB * runs / sum.wall;
    state.counters["cpu_ms_per_MiB_gross"] = 1e3 * sum.cpu / (kMiB * runs);
}

void BM_Push16MiB_Flarecast(benchmark::State& state) {
    pushes(state, Client::Ours);
}

void BM_Push16MiB_Obexftp(benchmark::State& state) {
    pushes(state, Client::Obexftp);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Both clients in turn, a one-byte push and a 16 MiB push each per round, so that a load on the
// machine weighs on both alike. CPU per MiB is a 16 MiB push's cost less the one-byte push's
// of the same round; the figures are the medians over the rounds, the ratio that of each round.
void BM_Compare(benchmark::State& state) {
    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> ratios;
    std::vector<double> oursFixed;
    std::vector<double> theirsFixed;
    try {
        for (auto _ : state) {
            const double ourFixed = push(Client::Ours, kTiny).cpu;
            const double theirFixed = push(Client::Obexftp, kTiny).cpu;
            const double our = (push(Client::Ours, kSize).cpu - ourFixed) / kMiB;
            const double their = (push(Client::Obexftp, kSize).cpu - theirFixed) / kMiB;
            oursFixed.push_back(ourFixed);
            theirsFixed.push_back(theirFixed);
            ours.push_back(our);
            theirs.push_back(their);
            ratios.push_back(our / their);
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    state.counters["ours_cpu_ms_per_MiB"] = 1e3 * median(ours);
    state.counters["obexftp_cpu_ms_per_MiB"] = 1e3 * median(theirs);
    state.counters["ours_over_obexftp"] = median(ratios);
    state.counters["ours_fixed_cpu_ms"] = 1e3 * median(oursFixed);
    state.counters["obexftp_fixed_cpu_ms"] = 1e3 * median(theirsFixed);
}

}  // namespace

BENCHMARK(BM_Push16MiB_Flarecast)
    ->Arg(2048)
    ->Arg(64 * 1024)
    ->UseManualTime()
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Push16MiB_Obexftp)
    ->UseManualTime()
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compare)->Iterations(kIterations)->Unit(benchmark::kMillisecond);
