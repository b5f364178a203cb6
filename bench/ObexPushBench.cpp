// Pushing 16 MiB to another project's OBEX server (obex_tcp) over loopback: our client session
// next to Debian's obexftp client, same file, same server, one run. Each figure is a whole push:
// connect, PUT, close, disconnect.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

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
constexpr double kMiB = 16.0;

struct Setup {
    fs::path folder = fs::temp_directory_path() / "flarecast-obex-bench";
    fs::path serverFolder = folder / "server";
    fs::path file = folder / "payload.bin";
    bluetooth::Bytes contents = bluetooth::Bytes(kSize);

    Setup() {
        // The server's port is fixed; where a namespace of our own is refused, share the host's.
        if (const auto refused = testing::enterOwnNetwork()) {
            std::fprintf(stderr, "obex_tcp runs in the host's network: %s\n", refused->c_str());
        }
        fs::remove_all(folder);
        fs::create_directories(serverFolder);
        std::mt19937 random(7);
        for (auto& byte : contents) {
            byte = static_cast<std::uint8_t>(random());
        }
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents.data()),
                   static_cast<std::streamsize>(contents.size()));
        bluetooth::installNativeStack(
            std::make_unique<bluetooth::NeighbourhoodStack>(bluetooth::parseNeighbourhood(
                R"({ "devices": [ { "address": "00123456789a",
                     "rfcomm": { "9": "tcp:127.0.0.1:650" } } ] })",
                "bench")));
    }
    ~Setup() { fs::remove_all(folder); }
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

std::unique_ptr<obex::ClientSession> openWhenListening() {
    for (int attempt = 0;; ++attempt) {
        try {
            return obex::OBEXConnector::openSession("btgoep://00123456789a:9");
        } catch (const bluetooth::IOError&) {
            if (attempt > 1000) {
                throw;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void report(benchmark::State& state, double wall, double cpu) {
    state.counters["MiB_per_s"] =
        benchmark::Counter(kMiB * static_cast<double>(state.iterations()) / wall);
    state.counters["cpu_s_per_MiB"] =
        benchmark::Counter(cpu / (kMiB * static_cast<double>(state.iterations())));
}

// The argument is the size of each write: 2048 bytes as the push job writes, or larger.
void BM_Push16MiB_Flarecast(benchmark::State& state) {
    Setup& the = setup();
    const auto writeSize = static_cast<std::size_t>(state.range(0));
    double wall = 0;
    double cpu = 0;
    for (auto _ : state) {
        testing::ObexTcpServer server(the.serverFolder, FLARECAST_REUSE_ADDRESS_PRELOAD);
        auto session = openWhenListening();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processCpuSeconds();
        session->connect(nullptr);
        obex::HeaderSetImpl headers;
        headers.setHeader(obex::HeaderSet::NAME, std::string("payload.bin"));
        headers.setHeader(obex::HeaderSet::LENGTH, static_cast<std::int64_t>(kSize));
        auto put = session->put(&headers);
        const auto out = put->openOutputStream();
        for (std::size_t at = 0; at < kSize; at += writeSize) {
            out->write(std::span(the.contents).subspan(at, std::min(writeSize, kSize - at)));
        }
        put->close();
        session->disconnect(nullptr);
        session->close();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += processCpuSeconds() - cpuStart;
        wall += seconds;
        state.SetIterationTime(seconds);
        if (!server.finished() || fs::file_size(the.serverFolder / "payload.bin") != kSize) {
            state.SkipWithError("the server did not receive the whole file");
            break;
        }
    }
    report(state, wall, cpu);
}

void BM_Push16MiB_Obexftp(benchmark::State& state) {
    Setup& the = setup();
    double wall = 0;
    double cpu = 0;
    for (auto _ : state) {
        testing::ObexTcpServer server(the.serverFolder, FLARECAST_REUSE_ADDRESS_PRELOAD);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string file = the.file.string();
        std::vector<char*> argv = {const_cast<char*>("obexftp"),
                                   const_cast<char*>("-n"),
                                   const_cast<char*>("127.0.0.1:650"),
                                   const_cast<char*>("-U"),
                                   const_cast<char*>("none"),
                                   const_cast<char*>("-H"),
                                   const_cast<char*>("-S"),
                                   const_cast<char*>("-p"),
                                   const_cast<char*>(file.c_str()),
                                   nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        const int spawned =
            posix_spawn(&pid, "/usr/bin/obexftp", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        rusage usage{};
        int status = 0;
        if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) {
            state.SkipWithError("obexftp did not run");
            break;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += cpuSeconds(usage);
        wall += seconds;
        state.SetIterationTime(seconds);
        if (!server.finished() || fs::file_size(the.serverFolder / "payload.bin") != kSize) {
            state.SkipWithError("the server did not receive the whole file");
            break;
        }
    }
    report(state, wall, cpu);
}

}  // namespace

BENCHMARK(BM_Push16MiB_Flarecast)
    ->Arg(2048)
    ->Arg(64 * 1024)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Push16MiB_Obexftp)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
