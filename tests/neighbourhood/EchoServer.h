#pragma once

#include <thread>
#include <vector>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/TcpSocket.h"

namespace flarecast::bluetooth::testing {

// A TCP server on loopback that sends back whatever each client sends, until the client stops.
class EchoServer {
public:
    EchoServer() : listening(TcpSocket::listenOn("127.0.0.1", 0)) {
        acceptor = std::thread([this] { serve(); });
    }
    ~EchoServer() {
        listening.shutdown();
        acceptor.join();
    }
    std::uint16_t port() const { return listening.localPort(); }

private:
    void serve() {
        std::vector<std::jthread> clients;
        while (true) {
            TcpSocket client;
            try {
                client = listening.accept();
            } catch (const IOError&) {
                return;
            }
            clients.emplace_back([client = std::move(client)]() mutable {
                std::uint8_t buffer[4096];
                try {
                    while (const std::size_t count = client.receive(buffer)) {
                        client.sendAll({buffer, count});
                    }
                } catch (const IOError&) {
                }
            });
        }
    }

    TcpSocket listening;
    std::thread acceptor;
};

}  // namespace flarecast::bluetooth::testing
