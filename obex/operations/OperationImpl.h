#pragma once

#include <atomic>
#include <mutex>

#include "obex/operations/OBEXInputStream.h"
#include "obex/operations/Operation.h"
#include "obex/session/CommandHandler.h"

namespace flarecast::obex {

class OperationImpl;

// Cuts what the application writes into PUT packets no larger than the peer accepts.
class OBEXPutOutputStream final : public bluetooth::OutputStream {
public:
    explicit OBEXPutOutputStream(OperationImpl& operation) : operation(&operation) {}
    using OutputStream::write;
    void write(int byte) override;
    void write(std::span<const std::uint8_t> bytes) override;
    // The operation is going away: later writes fail.
    void detach() { operation = nullptr; }

private:
    std::atomic<OperationImpl*> operation;
};

// Loops what is written back into the operation's own input stream.
class OBEXGetOutputStream final : public bluetooth::OutputStream {
public:
    explicit OBEXGetOutputStream(OBEXInputStream& input) : input(input) {}
    using OutputStream::write;
    void write(int byte) override;
    void write(std::span<const std::uint8_t> bytes) override { input.newData(bytes); }

private:
    OBEXInputStream& input;
};

// One PUT (0x02) or GET (0x03) exchange. On a client the constructor performs the opening
// request; a GET has received the whole object by the time it returns.
class OperationImpl final : public Operation {
public:
    OperationImpl(int kind, const HeaderSet* headers, CommandHandler& handler);
    ~OperationImpl() override;

    std::shared_ptr<bluetooth::InputStream> openInputStream() override { return input; }
    std::shared_ptr<bluetooth::DataInputStream> openDataInputStream() override;
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override { return output; }
    std::shared_ptr<bluetooth::DataOutputStream> openDataOutputStream() override;
    void sendHeaders(const HeaderSetImpl& headers) override;
    HeaderSetImpl getReceivedHeaders() override;
    int getResponseCode() const override { return responseCode; }
    std::optional<std::string> getType() const override;
    std::int64_t getLength() const override { return length; }
    void abort() override;
    void close() override;

    // One body packet or several, each answered with continue.
    void writeBody(std::span<const std::uint8_t> bytes);

private:
    void takeInHeaders(const HeaderSetImpl& headers);
    void sendBodyPacket(std::span<const std::uint8_t> bytes);
    // Sends opCode with data, reads and records the response code; errors are printed.
    void finalExchange(int opCode);

    CommandHandler& handler;
    const int opCode;
    std::optional<HeaderSetImpl> headersToSend;
    std::optional<HeaderSetImpl> recHeaders;
    std::int64_t length = -1;
    std::atomic<int> responseCode{0};
    std::optional<std::string> type;
    bool opNeedsClosing = false;
    std::mutex writeLock;
    std::shared_ptr<OBEXInputStream> input;
    std::shared_ptr<OBEXPutOutputStream> putStream;
    std::shared_ptr<bluetooth::OutputStream> output;
};

}  // namespace flarecast::obex
