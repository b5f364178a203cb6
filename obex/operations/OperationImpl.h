#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "obex/operations/OBEXInputStream.h"
#include "obex/operations/Operation.h"
#include "obex/session/CommandHandler.h"

namespace flarecast::obex {

// What an operation shares with its put stream: the stream may be used on another thread while
// the operation goes away.
class OperationOutbox {
public:
    explicit OperationOutbox(std::shared_ptr<CommandHandler> handler)
        : handler(std::move(handler)) {}

    void setHeadersToSend(std::optional<HeaderSetImpl> headers);
    std::optional<HeaderSetImpl> takeHeadersToSend();
    // Keeps the bytes, and sends full body packets, each answered with continue, while more
    // than a packet's worth is kept. A refusal ends the operation with an I/O error.
    void writeBody(std::span<const std::uint8_t> bytes);
    // What is kept goes out now, as body packets.
    void flush();
    // What is kept, and the pending headers, go in the final packet; the peer's code is recorded,
    // a refusal too. Only the first call sends; I/O errors pass on.
    void finish();
    // The kept bytes are dropped and nothing more is sent.
    void drop();
    int getResponseCode() const { return responseCode; }
    void setResponseCode(int code) { responseCode = code; }
    // The operation is gone: later writes fail.
    void detach() { detached = true; }

private:
    // The body bytes the next packet has room for.
    std::size_t bodyRoom() const;
    void checkOpen() const;
    std::size_t keptSize() const { return kept.size() - kHeadroom; }
    // One packet of the pending headers and the first count kept bytes in a body header; the
    // peer's code.
    int exchange(int opCode, int bodyId, std::size_t count);
    // The first count kept bytes as a body packet. False when the peer refused; the operation
    // has ended then.
    bool sendBody(std::size_t count);
    // Like sendBody; an I/O error when refused.
    void sendKept(std::size_t count);
    // Drops the first count kept bytes, sent.
    void sent(std::size_t count);

    const std::shared_ptr<CommandHandler> handler;
    std::mutex writeLock;
    std::optional<HeaderSetImpl> headersToSend;
    // The body bytes kept follow room for the head of the packet they go out in, so that they
    // are copied once, as they are written.
    static constexpr std::size_t kHeadroom = CommandHandler::kFrameRoom + 3;
    Bytes kept = Bytes(kHeadroom);
    bool ended = false;
    std::atomic<int> responseCode{0};
    std::atomic<bool> detached{false};
};

// Gathers what the application writes into PUT packets as large as the peer accepts.
class OBEXPutOutputStream final : public bluetooth::OutputStream {
public:
    explicit OBEXPutOutputStream(std::shared_ptr<OperationOutbox> outbox)
        : outbox(std::move(outbox)) {}
    using OutputStream::write;
    void write(int byte) override;
    void write(std::span<const std::uint8_t> bytes) override { outbox->writeBody(bytes); }
    void flush() override { outbox->flush(); }

private:
    const std::shared_ptr<OperationOutbox> outbox;
};

// Loops what is written back into the operation's own input stream.
class OBEXGetOutputStream final : public bluetooth::OutputStream {
public:
    explicit OBEXGetOutputStream(std::shared_ptr<OBEXInputStream> input)
        : input(std::move(input)) {}
    using OutputStream::write;
    void write(int byte) override;
    void write(std::span<const std::uint8_t> bytes) override { input->newData(bytes); }

private:
    const std::shared_ptr<OBEXInputStream> input;
};

// One PUT (0x02) or GET (0x03) exchange. On a client the constructor performs the opening
// request; a GET has received the whole object by the time it returns.
class OperationImpl final : public Operation {
public:
    OperationImpl(int kind, const HeaderSet* headers, std::shared_ptr<CommandHandler> handler);
    ~OperationImpl() override;
    OperationImpl(const OperationImpl&) = delete;
    OperationImpl& operator=(const OperationImpl&) = delete;

    std::shared_ptr<bluetooth::InputStream> openInputStream() override { return input; }
    std::shared_ptr<bluetooth::DataInputStream> openDataInputStream() override;
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override { return output; }
    std::shared_ptr<bluetooth::DataOutputStream> openDataOutputStream() override;
    void sendHeaders(const HeaderSetImpl& headers) override;
    HeaderSetImpl getReceivedHeaders() override;
    int getResponseCode() const override { return outbox->getResponseCode(); }
    std::optional<std::string> getType() const override;
    std::int64_t getLength() const override { return length; }
    void abort() override;
    void close() override;

    // The server's side: the headers of one more request packet, its body bytes to the input
    // stream; then the end of the object, and the headers the handler wants sent back.
    void takeInHeaders(const HeaderSetImpl& headers);
    void finishInput() { input->finish(); }
    std::optional<HeaderSetImpl> takeHeadersToSend() { return outbox->takeHeadersToSend(); }

private:
    CommandHandler& handler;
    const int opCode;
    std::optional<HeaderSetImpl> recHeaders;
    std::int64_t length = -1;
    std::optional<std::string> type;
    bool opNeedsClosing = false;
    std::shared_ptr<OperationOutbox> outbox;
    std::shared_ptr<OBEXInputStream> input;
    std::shared_ptr<bluetooth::OutputStream> output;
};

}  // namespace flarecast::obex
