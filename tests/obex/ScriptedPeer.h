#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "bluetooth/connections/Connection.h"

namespace flarecast::obex::testing {

using bluetooth::Bytes;

// The far end of a session in memory: it answers with the packets queued in it, in order, and
// keeps every packet the session wrote. When its answers run out it falls silent (reads block
// until the connection is closed) or, if told so, ends the stream.
struct PeerScript {
    std::mutex lock;
    std::condition_variable changed;
    Bytes incoming;
    std::size_t readAt = 0;
    bool closed = false;
    bool endWhenDone = false;
    std::vector<Bytes> written;

    void answer(const Bytes& packet) {
        const std::lock_guard guard(lock);
        incoming.insert(incoming.end(), packet.begin(), packet.end());
        changed.notify_all();
    }
    std::vector<Bytes> sent() {
        const std::lock_guard guard(lock);
        return written;
    }
    // What was written once there are count writes, or all there is when bound passes first.
    std::vector<Bytes> sentOnce(std::size_t count,
                                std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        std::unique_lock guard(lock);
        changed.wait_for(guard, bound, [&] { return written.size() >= count; });
        return written;
    }
    // Whether the far end closed the connection within bound.
    bool closedWithin(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, bound, [&] { return closed; });
    }
};

class ScriptedInput final : public bluetooth::InputStream {
public:
    explicit ScriptedInput(std::shared_ptr<PeerScript> peer) : peer(std::move(peer)) {}
    int read() override {
        std::uint8_t byte = 0;
        return read(std::span(&byte, 1)) < 0 ? -1 : byte;
    }
    int read(std::span<std::uint8_t> buffer) override {
        std::unique_lock guard(peer->lock);
        peer->changed.wait(guard, [this] {
            return peer->closed || peer->readAt < peer->incoming.size() || peer->endWhenDone;
        });
        if (peer->closed || peer->readAt == peer->incoming.size()) {
            return -1;
        }
        const std::size_t count = std::min(buffer.size(), peer->incoming.size() - peer->readAt);
        std::copy_n(peer->incoming.begin() + static_cast<std::ptrdiff_t>(peer->readAt), count,
                    buffer.begin());
        peer->readAt += count;
        return static_cast<int>(count);
    }
    void close() override {
        const std::lock_guard guard(peer->lock);
        peer->closed = true;
        peer->changed.notify_all();
    }

private:
    std::shared_ptr<PeerScript> peer;
};

class RecordingOutput final : public bluetooth::OutputStream {
public:
    explicit RecordingOutput(std::shared_ptr<PeerScript> peer) : peer(std::move(peer)) {}
    void write(int byte) override {
        const auto low = static_cast<std::uint8_t>(byte);
        write(std::span(&low, 1));
    }
    void write(std::span<const std::uint8_t> bytes) override {
        const std::lock_guard guard(peer->lock);
        peer->written.emplace_back(bytes.begin(), bytes.end());
        peer->changed.notify_all();
    }

private:
    std::shared_ptr<PeerScript> peer;
};

class ScriptedConnection final : public bluetooth::StreamConnection {
public:
    explicit ScriptedConnection(std::shared_ptr<PeerScript> peer)
        : peer(peer),
          in(std::make_shared<ScriptedInput>(peer)),
          out(std::make_shared<RecordingOutput>(peer)) {}
    std::shared_ptr<bluetooth::InputStream> openInputStream() override { return in; }
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override { return out; }
    void close() override { in->close(); }

private:
    std::shared_ptr<PeerScript> peer;
    std::shared_ptr<ScriptedInput> in;
    std::shared_ptr<RecordingOutput> out;
};

}  // namespace flarecast::obex::testing
