// Our own OBEX server on this machine's adapter (FLARECAST_ADAPTER), for the VM's tests: publishes
// Object Push, says its channel, saves the first object pushed to it into the folder given, and
// ends.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>

#include <thread>

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"
#include "obex/OBEXConnector.h"
#include "obex/server/ServerRequestHandler.h"

namespace {

namespace fs = std::filesystem;
using namespace flarecast;

class Saver final : public obex::ServerRequestHandler {
public:
    explicit Saver(fs::path folder) : folder(std::move(folder)) {}

    std::promise<void> saved;

    int onPut(obex::Operation& operation) override {
        const auto name =
            operation.getReceivedHeaders().get<std::string>(obex::HeaderSet::NAME).value_or("");
        obex::Bytes object;
        const auto in = operation.openInputStream();
        std::uint8_t buffer[4096];
        for (int count; (count = in->read(buffer)) > 0;) {
            object.insert(object.end(), buffer, buffer + count);
        }
        std::ofstream(folder / fs::path(name).filename(), std::ios::binary)
            .write(reinterpret_cast<const char*>(object.data()),
                   static_cast<std::streamsize>(object.size()));
        saved.set_value();
        return obex::ResponseCodes::OBEX_HTTP_OK;
    }

private:
    const fs::path folder;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bluez_vm_receiver FOLDER\n";
        return 2;
    }
    try {
        fs::create_directories(argv[1]);
        const auto server = obex::OBEXConnector::openNotifier("btgoep://localhost:1105");
        const auto& record =
            bluetooth::LocalDevice::getLocalDevice().getRecord(&server->getNotifier());
        const auto url = record.getConnectionURL(0, false).value_or("");
        std::cout << "Listening at " << url << std::endl;
        const auto saver = std::make_shared<Saver>(argv[1]);
        auto saved = saver->saved.get_future();
        server->acceptAndOpen(saver);
        if (saved.wait_for(std::chrono::seconds(90)) != std::future_status::ready) {
            std::cout << "Nothing was pushed" << std::endl;
            return 1;
        }
        // Lets the final response reach the client before the link goes.
        while (!server->clientGone()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::cout << "Received" << std::endl;
        return 0;
    } catch (const bluetooth::Error& error) {
        std::cout << "Failed: " << error.getMessage() << std::endl;
        return 1;
    }
}
