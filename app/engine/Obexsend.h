#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "app/engine/Logfile.h"
#include "app/engine/ObjectType.h"
#include "app/engine/RowSink.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::engine {

// Pushes the chosen file to one device by OBEX and appends one row for it: sent only when the
// device took the whole object.
class Obexsend {
public:
    // url is the btspp:// URL a search found. A file name of fewer than three characters is an
    // illegal-argument error; the file type is printed.
    Obexsend(std::string url, std::filesystem::path chosenfile, const Logfile& logfile,
             RowSink& tablemodel);
    Obexsend(const Obexsend&) = delete;
    Obexsend& operator=(const Obexsend&) = delete;

    void start();
    // The row is appended by then.
    bool finished() const { return done; }

private:
    void run();

    const std::string obexurl;
    const std::filesystem::path chosenfile;
    const ObjectType type;
    Logfile logfile;
    RowSink& tablemodel;
    std::atomic<bool> done{false};
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::engine
