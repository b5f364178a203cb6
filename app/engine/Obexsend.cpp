#include "app/engine/Obexsend.h"

#include <array>
#include <fstream>
#include <memory>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "obex/OBEXConnector.h"
#include "obex/headers/ResponseCodes.h"

namespace flarecast::engine {

using bluetooth::printLine;

namespace {

constexpr std::size_t kChunk = 2048;

}  // namespace

Obexsend::Obexsend(std::string url, std::filesystem::path file, const Logfile& row, RowSink& table)
    : obexurl(std::move(url)),
      chosenfile(std::move(file)),
      type(ObjectType::of(chosenfile.filename().string())),
      logfile(row),
      tablemodel(table) {
    printLine(type.filetype);
}

void Obexsend::start() {
    thread.start([this] { run(); });
}

void Obexsend::run() {
    std::unique_ptr<obex::ClientSession> session;
    try {
        if (obexurl.size() < 5) {
            throw bluetooth::IOError("Not a connection URL: " + obexurl);
        }
        session = obex::OBEXConnector::openSession("btgoep" + obexurl.substr(5));
        printLine("opening");
        obex::HeaderSetImpl request;
        obex::HeaderSetImpl headers = session->connect(&request);
        printLine("created header set");
        const std::string name = chosenfile.filename().string();
        if (type.announcement) {
            printLine(*type.announcement);
        }
        headers.setHeader(obex::HeaderSet::NAME, name);
        if (type.mimeType) {
            headers.setHeader(obex::HeaderSet::TYPE, *type.mimeType);
        }
        std::ifstream file(chosenfile, std::ios::binary);
        std::error_code sizeError;
        const auto size = std::filesystem::file_size(chosenfile, sizeError);
        if (!file || sizeError) {
            throw bluetooth::IOError("Cannot read " + chosenfile.string());
        }
        headers.setHeader(obex::HeaderSet::LENGTH, static_cast<std::int64_t>(size));
        printLine("putting....");
        const auto put = session->put(&headers);
        printLine("put....");
        const auto out = put->openOutputStream();
        std::array<char, kChunk> buffer;
        while (file.read(buffer.data(), buffer.size()) || file.gcount() > 0) {
            out->write(std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                 static_cast<std::size_t>(file.gcount())));
        }
        if (file.bad()) {
            throw bluetooth::IOError("Cannot read " + chosenfile.string());
        }
        put->close();
        // Only a peer that took the whole object has it.
        if (const int code = put->getResponseCode(); code != obex::ResponseCodes::OBEX_HTTP_OK) {
            throw bluetooth::IOError("Object not accepted " + std::to_string(code));
        }
        session->disconnect(nullptr);
        session->close();
        printLine("closed...");
        logfile.sent = true;
    } catch (const std::exception& error) {
        logfile.sent = false;
        if (session) {
            try {
                session->disconnect(nullptr);
            } catch (const std::exception& ending) {
                printLine(ending.what());
            }
            try {
                session->close();
            } catch (const std::exception& ending) {
                printLine(ending.what());
            }
        }
        printLine(error.what());
    }
    // The row goes first: a finished job may be dropped at once.
    tablemodel.append(logfile);
    done = true;
}

}  // namespace flarecast::engine
