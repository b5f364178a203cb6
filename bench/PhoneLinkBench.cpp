// Pushing 1 MiB to a virtual phone behind a 2.1 Mbit/s link with 20 ms latency, written 2048
// bytes at a time as the push job writes. The phone charges each request packet the latency and
// its size at the link's rate, so the push can take no less than the object's bytes at that rate
// plus one latency for each request at the phone's packet size; wall_per_ideal says how close we
// come.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "obex/OBEXConnector.h"
#include "obex/headers/ResponseCodes.h"
#include "obex/phone/VirtualPhoneLauncher.h"

using namespace flarecast;

namespace {

constexpr std::size_t kSize = 1024 * 1024;
constexpr std::size_t kWrite = 2048;
constexpr double kBytesPerSecond = 262500;
constexpr double kLatencySeconds = 0.020;
constexpr std::size_t kMaxPacket = 8192;
// A body packet's code, length and body header.
constexpr std::size_t kBodyPacketOverhead = 6;

void installPhone() {
    static const bool installed =
        bluetooth::installNativeStack(std::make_unique<bluetooth::NeighbourhoodStack>(
            bluetooth::parseNeighbourhood(
                R"({ "devices": [ { "address": "00123456789b", "rfcomm": { "9":
                     { "link_bytes_per_second": 262500, "link_latency_ms": 20 } } } ] })",
                "bench"),
            std::make_shared<obex::VirtualPhoneLauncher>()));
    (void)installed;
}

// CONNECT, the opening PUT, the packets that carry the body (the final one among them) and
// DISCONNECT.
double idealSeconds() {
    const std::size_t room = kMaxPacket - kBodyPacketOverhead;
    const std::size_t requests = 3 + (kSize + room - 1) / room;
    return static_cast<double>(kSize) / kBytesPerSecond +
           static_cast<double>(requests) * kLatencySeconds;
}

void BM_Push1MiBOverASlowLink(benchmark::State& state) {
    installPhone();
    const bluetooth::Bytes contents(kSize, 0x5A);
    double wall = 0;
    for (auto _ : state) {
        const auto session = obex::OBEXConnector::openSession("btgoep://00123456789b:9");
        const auto start = std::chrono::steady_clock::now();
        session->connect(nullptr);
        obex::HeaderSetImpl headers;
        headers.setHeader(obex::HeaderSet::NAME, std::string("payload.bin"));
        headers.setHeader(obex::HeaderSet::LENGTH, static_cast<std::int64_t>(kSize));
        const auto put = session->put(&headers);
        const auto out = put->openOutputStream();
        for (std::size_t at = 0; at < kSize; at += kWrite) {
            out->write(std::span(contents).subspan(at, kWrite));
        }
        put->close();
        session->disconnect(nullptr);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        session->close();
        wall += seconds;
        state.SetIterationTime(seconds);
        if (put->getResponseCode() != obex::ResponseCodes::OBEX_HTTP_OK) {
            state.SkipWithError("the phone did not take the object");
            break;
        }
    }
    const double ideal = idealSeconds();
    const double meanWall = wall / static_cast<double>(state.iterations());
    state.counters["wall_s"] = meanWall;
    state.counters["ideal_s"] = ideal;
    state.counters["wall_per_ideal"] = meanWall / ideal;
}

}  // namespace

BENCHMARK(BM_Push1MiBOverASlowLink)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
