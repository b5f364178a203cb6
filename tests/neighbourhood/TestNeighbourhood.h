#pragma once

#include "DeafPeer.h"
#include "EchoServer.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "tests/common/Eventually.h"
#include "tests/common/FreePort.h"

namespace flarecast::bluetooth::testing {

// The neighbourhood every test of this suite runs in, installed before first use. Device 9a's
// channel 9 leads to an echo server and its channel 11 to an OBEX peer that accepts CONNECT
// with the largest packets, answers "continue" a thousand times at once, then stops reading;
// the local channel 3 listens on a pinned port, where device 9b's channel 3 leads.
struct TestNeighbourhood {
    EchoServer echo;
    DeafPeer deaf{deafPeersAnswer()};
    std::uint16_t pinnedPort = 0;

    // An Object Push record on channel 9 as a phone sends it.
    static constexpr const char* kOppRecordHex =
        "35570900000a000100050900013503191105090004351135031901003505190003080935031900080900053503"
        "1910020900093508350619110509010209010025104f424558204f626a6563742050757368090303350208ff";

    TestNeighbourhood() {
        pinnedPort = flarecast::testing::freeLoopbackPort();
        const std::string record = kOppRecordHex;
        const std::string json = R"({
          "local": { "address": "0012a1b2c3d4", "rfcomm_ports": { "3": )" +
                                 std::to_string(pinnedPort) + R"( } },
          "inquiry_ms": 40,
          "devices": [
            { "address": "00123456789a", "name": "Ada's phone", "class": "0x5a020c",
              "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 9 } ],
              "rfcomm": { "9": "tcp:127.0.0.1:)" +
                                 std::to_string(echo.port()) + R"(",
                          "11": "tcp:127.0.0.1:)" +
                                 std::to_string(deaf.port()) + R"(" } },
            { "address": "00123456789b", "name": "Grace's tablet", "class": 1704220, "sdp": "none",
              "rfcomm": { "3": "tcp:127.0.0.1:)" +
                                 std::to_string(pinnedPort) + R"(" } },
            { "address": "00123456789c", "name": "Hidden", "visible": false, "sdp": "error" },
            { "address": "00123456789d", "name": "Far away", "sdp": "unreachable" },
            { "address": "00123456789e", "name": "Bytes", "records_hex": [ ")" +
                                 record + R"(" ] },
            { "address": "00123456789f", "name": "Files only",
              "services": [ { "uuid": "1106", "channel": 10 } ] }
          ]
        })";
        installNativeStack(
            std::make_unique<NeighbourhoodStack>(parseNeighbourhood(json, "test neighbourhood")));
    }

    static Bytes deafPeersAnswer() {
        Bytes answer = {0xA0, 0x00, 0x07, 0x10, 0x00, 0xFF, 0xFF};
        for (int i = 0; i < 1000; ++i) {
            answer.insert(answer.end(), {0x90, 0x00, 0x03});
        }
        return answer;
    }

    static TestNeighbourhood& get() {
        static TestNeighbourhood world;
        return world;
    }
};

using flarecast::testing::eventually;

}  // namespace flarecast::bluetooth::testing
