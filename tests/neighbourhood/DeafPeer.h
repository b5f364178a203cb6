#pragma once

#include <thread>
#include <vector>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Streams.h"
#include "bluetooth/native/TcpSocket.h"

namespace flarecast::bluetooth::testing {

// An OBEX peer on loopback that reads the first packet of each client, sends its answer, and
// then never reads again: a client that keeps sending fills the socket's buffers and blocks.
class DeafPeer {
public:
    explicit DeafPeer(Bytes answer)
        : answer(std::move(answer)), listening(TcpSocket::listenOn("127.0.0.1", 0)) {
        acceptor = std::thread([this] { serve(); });
    }
    ~DeafPeer() {
        listening.shutdown();
        acceptor.join();
    }
    std::uint16_t port() const { return listening.localPort(); }

private:
    void serve() {
        std::vector<TcpSocket> clients;
        while (true) {
            TcpSocket client;
            try {
                client = listening.accept();
                std::uint8_t header[3];
                readExactly(client, header);
                Bytes rest(static_cast<std::size_t>(header[1] << 8 | header[2]) - 3);
                readExactly(client, rest);
                client.sendAll(answer);
            } catch (const IOError&) {
                if (!client.isOpen()) {
                    return;
                }
            }
            // Kept open and unread until the server goes.
            clients.push_back(std::move(client));
        }
    }
    static void readExactly(TcpSocket& socket, std::span<std::uint8_t> buffer) {
        while (!buffer.empty()) {
            const std::size_t count = socket.receive(buffer);
            if (count == 0) {
                throw IOError("end of stream");
            }
            buffer = buffer.subspan(count);
        }
    }

    const Bytes answer;
    TcpSocket listening;
    std::thread acceptor;
};

}  // namespace flarecast::bluetooth::testing
