#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/engine/Logfile.h"
#include "app/engine/ObjectType.h"
#include "app/engine/RowSink.h"
#include "bluetooth/io/OwnedThread.h"
#include "obex/session/ClientSession.h"

namespace flarecast::engine {

// Pushes the chosen file to one device by OBEX and appends one row for it: sent only when the
// device took the whole object, with a detail that says why the push ended as it did.
class Obexsend {
public:
    // url is the btspp:// URL a search found. A file name of fewer than three characters is an
    // illegal-argument error; the file type is printed.
    Obexsend(std::string url, std::filesystem::path chosenfile, const Logfile& logfile,
             RowSink& tablemodel);
    Obexsend(const Obexsend&) = delete;
    Obexsend& operator=(const Obexsend&) = delete;

    // How long the device may take to take a request or answer it; the OBEX session's own
    // limit unless set, before start.
    void setResponseLimit(std::chrono::milliseconds limit) { responseLimit = limit; }
    // ended runs on the job's thread once the row is appended, as its last step.
    void start(std::function<void()> ended = {});
    // Ends the push now, without waiting out the OBEX time limit: the connection is closed, so
    // the job fails at once and appends a row that says not sent.
    void cancel();
    // The row is appended by then.
    bool finished() const { return done; }

private:
    void run();
    // Opens the OBEX session where cancel() can reach it.
    obex::ClientSession& open();
    void forget();
    // Fills in the row's detail, error and response code for a push that failed with error,
    // after handed bytes of the file went to the push's stream.
    void failed(const std::exception& error, bool connected, std::uint64_t handed);

    const std::string obexurl;
    const std::filesystem::path chosenfile;
    const ObjectType type;
    Logfile logfile;
    RowSink& tablemodel;
    std::atomic<bool> done{false};
    std::mutex sessionLock;
    bool cancelled = false;
    std::optional<std::chrono::milliseconds> responseLimit;
    std::unique_ptr<obex::ClientSession> session;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::engine
