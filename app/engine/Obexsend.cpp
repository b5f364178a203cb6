#include "app/engine/Obexsend.h"

#include <array>
#include <fstream>
#include <memory>

#include "app/engine/PushOutcome.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Utf8Path.h"
#include "obex/Errors.h"
#include "obex/OBEXConnector.h"
#include "obex/headers/ResponseCodes.h"
#include "obex/session/OBEXConnection.h"

namespace flarecast::engine {

using bluetooth::printLine;

namespace {

constexpr std::size_t kChunk = 2048;

// The chosen file could not be read.
class UnreadableFile : public bluetooth::IOError {
    using IOError::IOError;
};

template <typename Kind>
bool is(const std::exception& error) {
    return dynamic_cast<const Kind*>(&error) != nullptr;
}

struct Kind {
    bool (*matches)(const std::exception&);
    PushEnd end;
};

// The errors that say all there is to say by their kind.
constexpr Kind kKinds[] = {
    {is<obex::NoResponseError>, PushEnd::NoAnswer},
    {is<bluetooth::ConnectionNotFoundException>, PushEnd::NotReachable},
    {is<bluetooth::BluetoothStateException>, PushEnd::NoBluetooth},
    {is<UnreadableFile>, PushEnd::FileUnreadable},
};

// Why a push failed, from the error's kind and how far the job came.
PushOutcome outcomeOf(const std::exception& error, bool connected, std::uint64_t handed) {
    if (const auto* refusal = dynamic_cast<const obex::ResponseError*>(&error)) {
        return {connected ? PushEnd::Refused : PushEnd::ConnectionRefused, refusal->responseCode()};
    }
    if (is<obex::ConnectionLostError>(error)) {
        return {PushEnd::ConnectionLost, 0, handed};
    }
    for (const auto& kind : kKinds) {
        if (kind.matches(error)) {
            return {kind.end};
        }
    }
    return {PushEnd::Failed};
}

}  // namespace

Obexsend::Obexsend(std::string url, std::filesystem::path file, const Logfile& row, RowSink& table)
    : obexurl(std::move(url)),
      chosenfile(std::move(file)),
      type(ObjectType::of(bluetooth::utf8Of(chosenfile.filename()))),
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
    if (auto* ours = dynamic_cast<obex::OBEXConnection*>(opened.get()); ours && responseLimit) {
        ours->setResponseTimeout(*responseLimit);
    }
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

void Obexsend::failed(const std::exception& error, bool connected, std::uint64_t handed) {
    PushOutcome outcome = outcomeOf(error, connected, handed);
    const bool answered =
        outcome.end == PushEnd::Refused || outcome.end == PushEnd::ConnectionRefused;
    {
        const std::lock_guard guard(sessionLock);
        // A refusal stands; anything else is what the closed connection made of the cancel.
        if (cancelled && !answered) {
            outcome = {PushEnd::Cancelled};
        }
    }
    logfile.sent = false;
    logfile.end = outcome.end;
    logfile.detail = detailOf(outcome);
    logfile.error = error.what();
    logfile.responseCode = answered ? std::optional(outcome.responseCode) : std::nullopt;
}

void Obexsend::run() {
    obex::ClientSession* link = nullptr;
    bool connected = false;
    bool accepted = false;
    std::uint64_t handed = 0;
    try {
        link = &open();
        printLine("opening");
        obex::HeaderSetImpl request;
        obex::HeaderSetImpl headers = link->connect(&request);
        connected = true;
        printLine("created header set");
        const std::string name = bluetooth::utf8Of(chosenfile.filename());
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
            throw UnreadableFile("Cannot read " + bluetooth::utf8Of(chosenfile));
        }
        headers.setHeader(obex::HeaderSet::LENGTH, static_cast<std::int64_t>(size));
        printLine("putting....");
        const auto put = link->put(&headers);
        printLine("put....");
        const auto out = put->openOutputStream();
        std::array<char, kChunk> buffer;
        while (file.read(buffer.data(), buffer.size()) || file.gcount() > 0) {
            const auto count = static_cast<std::size_t>(file.gcount());
            out->write(std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), count));
            handed += count;
        }
        if (file.bad()) {
            throw UnreadableFile("Cannot read " + bluetooth::utf8Of(chosenfile));
        }
        put->close();
        // Only a peer that took the whole object has it.
        const int code = put->getResponseCode();
        if (code != obex::ResponseCodes::OBEX_HTTP_OK) {
            throw obex::ResponseError("Object not accepted " + std::to_string(code), code);
        }
        accepted = true;
        logfile.sent = true;
        logfile.end = PushEnd::Sent;
        logfile.detail = detailOf({PushEnd::Sent});
        logfile.error.clear();
        logfile.responseCode = code;
        link->disconnect(nullptr);
        link->close();
        printLine("closed...");
    } catch (const std::exception& error) {
        // A device that took the object has it, whatever becomes of the session's end.
        if (!accepted) {
            failed(error, connected, handed);
        }
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
