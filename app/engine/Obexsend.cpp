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

void Obexsend::start(std::function<void()> ended) {
    thread.start([this, ended = std::move(ended)] {
        run();
        if (ended) {
            ended();
        }
    });
}

void Obexsend::cancel() {
    const std::lock_guard guard(sessionLock);
    cancelled = true;
    if (session) {
        try {
            session->close();
        } catch (const std::exception&) {
            // The job's own next step reports the closed connection.
        }
    }
}

obex::ClientSession& Obexsend::open() {
    {
        const std::lock_guard guard(sessionLock);
        if (cancelled) {
            throw bluetooth::IOError("Push cancelled");
        }
    }
    if (obexurl.size() < 5) {
        throw bluetooth::IOError("Not a connection URL: " + obexurl);
    }
    auto opened = obex::OBEXConnector::openSession("btgoep" + obexurl.substr(5));
    const std::lock_guard guard(sessionLock);
    session = std::move(opened);
    if (cancelled) {
        session->close();
    }
    return *session;
}

void Obexsend::forget() {
    std::unique_ptr<obex::ClientSession> ending;
    const std::lock_guard guard(sessionLock);
    ending.swap(session);
}

void Obexsend::run() {
    obex::ClientSession* link = nullptr;
    try {
        link = &open();
        printLine("opening");
        obex::HeaderSetImpl request;
        obex::HeaderSetImpl headers = link->connect(&request);
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
        const auto put = link->put(&headers);
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
        link->disconnect(nullptr);
        link->close();
        printLine("closed...");
        logfile.sent = true;
    } catch (const std::exception& error) {
        logfile.sent = false;
        if (link != nullptr) {
            try {
                link->disconnect(nullptr);
            } catch (const std::exception& ending) {
                printLine(ending.what());
            }
            try {
                link->close();
            } catch (const std::exception& ending) {
                printLine(ending.what());
            }
        }
        printLine(error.what());
    }
    forget();
    // The row goes first: a finished job may be dropped at once.
    tablemodel.append(logfile);
    done = true;
}

}  // namespace flarecast::engine
