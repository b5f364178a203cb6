#include "tests/bluez/VmPhones.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/OwnedThread.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/LegacySdpRecord.h"
#include "bluetooth/native/bluez/RfcommSocket.h"
#include "bluetooth/sdp/SDPOutputStream.h"
#include "obex/server/ServerRequestHandler.h"

namespace flarecast::vm {

namespace {

using bluetooth::bluez::RfcommSocket;

// An accepted RFCOMM socket as the OBEX server's connection.
class RfcommConnection final : public bluetooth::StreamConnection {
public:
    explicit RfcommConnection(std::shared_ptr<RfcommSocket> socket)
        : in(std::make_shared<Input>(socket)), out(std::make_shared<Output>(socket)) {}
    std::shared_ptr<bluetooth::InputStream> openInputStream() override { return in; }
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override { return out; }
    void close() override { in->socket->shutdown(); }

private:
    struct Input final : bluetooth::InputStream {
        explicit Input(std::shared_ptr<RfcommSocket> socket) : socket(std::move(socket)) {}
        using InputStream::read;
        int read() override {
            std::uint8_t byte = 0;
            return read(std::span(&byte, 1)) < 0 ? -1 : byte;
        }
        int read(std::span<std::uint8_t> buffer) override {
            const std::size_t count = socket->receive(buffer);
            return count == 0 ? -1 : static_cast<int>(count);
        }
        const std::shared_ptr<RfcommSocket> socket;
    };
    struct Output final : bluetooth::OutputStream {
        explicit Output(std::shared_ptr<RfcommSocket> socket) : socket(std::move(socket)) {}
        using OutputStream::write;
        void write(int byte) override {
            const auto low = static_cast<std::uint8_t>(byte);
            write(std::span(&low, 1));
        }
        void write(std::span<const std::uint8_t> bytes) override { socket->sendAll(bytes); }
        const std::shared_ptr<RfcommSocket> socket;
    };

    const std::shared_ptr<Input> in;
    const std::shared_ptr<Output> out;
};

class Saver final : public obex::ServerRequestHandler {
public:
    Saver(Phones& phones, std::int64_t phone, std::int64_t from)
        : phones(phones), phone(phone), from(from) {}

    int onPut(obex::Operation& operation) override {
        const auto name =
            operation.getReceivedHeaders().get<std::string>(obex::HeaderSet::NAME).value_or("");
        std::string content;
        const auto in = operation.openInputStream();
        std::uint8_t buffer[4096];
        for (int count; (count = in->read(buffer)) > 0;) {
            content.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
        }
        phones.received({phone, from, name, std::move(content), Phones::Clock::now()});
        return obex::ResponseCodes::OBEX_HTTP_OK;
    }

private:
    Phones& phones;
    const std::int64_t phone;
    const std::int64_t from;
};

// Object Push on the channel, as phones publish it.
bluetooth::Bytes objectPushRecord(int channel) {
    using DE = bluetooth::DataElement;
    const auto uuid = [](int value) { return DE::make(DE::UUID, bluetooth::UUID(value)); };
    const auto id = [](int value) { return DE::make(DE::U_INT_2, std::int64_t{value}); };
    const auto record = DE::sequence({
        id(0x0001),
        DE::sequence({uuid(0x1105)}),
        id(0x0004),
        DE::sequence({DE::sequence({uuid(0x0100)}),
                      DE::sequence({uuid(0x0003), DE::make(DE::U_INT_1, std::int64_t{channel})}),
                      DE::sequence({uuid(0x0008)})}),
        id(0x0005),
        DE::sequence({uuid(0x1002)}),
        id(0x0100),
        DE::make(DE::STRING, "OBEX Object Push"),
        id(0x0303),
        DE::sequence({DE::make(DE::U_INT_1, std::int64_t{0xFF})}),
    });
    bluetooth::ByteArrayOutputStream bytes;
    bluetooth::SDPOutputStream(bytes).writeElement(*record);
    return bytes.toByteArray();
}

}  // namespace

struct Phones::Phone {
    explicit Phone(std::int64_t address)
        : address(address),
          listening(std::make_shared<RfcommSocket>(false, false)),
          channel((listening->listen(bluetooth::bluez::toBdaddr(address)), listening->channel())),
          record(bluetooth::bluez::toBdaddr(address), objectPushRecord(channel)) {}
    // Ends the accepts before the acceptor is joined.
    ~Phone() { listening->shutdown(); }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    const std::int64_t address;
    const std::shared_ptr<RfcommSocket> listening;
    const int channel;
    const bluetooth::bluez::LegacySdpRecord record;
    bluetooth::OwnedThread acceptor;
};

Phones::Phones(const std::vector<std::int64_t>& addresses) {
    for (const std::int64_t address : addresses) {
        phones.push_back(std::make_unique<Phone>(address));
        phones.back()->acceptor.start([this, &phone = *phones.back()] { accept(phone); });
    }
}

Phones::~Phones() {
    // No new session comes once every acceptor has ended.
    for (const auto& phone : phones) {
        phone->listening->shutdown();
        phone->acceptor.join();
    }
    std::vector<std::unique_ptr<obex::ServerSession>> ending;
    {
        const std::lock_guard guard(lock);
        ending.swap(sessions);
    }
    // Each closes its connection and waits for its thread.
    ending.clear();
}

void Phones::accept(Phone& phone) {
    for (;;) {
        std::shared_ptr<RfcommSocket> client;
        try {
            client = phone.listening->accept();
        } catch (const bluetooth::IOError&) {
            // Shut down.
            return;
        }
        std::int64_t from = 0;
        try {
            from = client->remoteAddress();
        } catch (const bluetooth::IOError&) {
            // Gone before it was seen.
            continue;
        }
        const std::lock_guard guard(lock);
        seen.push_back({phone.address, from, Clock::now()});
        sessions.push_back(std::make_unique<obex::ServerSession>(
            std::make_unique<RfcommConnection>(std::move(client)),
            std::make_shared<Saver>(*this, phone.address, from), obex::ServerSession::Options{}));
        sessions.back()->start();
    }
}

void Phones::received(Receipt receipt) {
    const std::lock_guard guard(lock);
    taken.push_back(std::move(receipt));
}

int Phones::channelOf(std::int64_t phone) const {
    const auto found = std::find_if(phones.begin(), phones.end(),
                                    [phone](const auto& each) { return each->address == phone; });
    if (found == phones.end()) {
        throw std::invalid_argument("no such phone");
    }
    return (*found)->channel;
}

std::vector<Phones::Visit> Phones::visits() const {
    const std::lock_guard guard(lock);
    return seen;
}

std::vector<Phones::Receipt> Phones::receipts() const {
    const std::lock_guard guard(lock);
    return taken;
}

}  // namespace flarecast::vm
