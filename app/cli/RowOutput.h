#pragma once

#include <cstddef>
#include <mutex>

#include "app/cli/CsvLog.h"
#include "app/cli/Terminal.h"
#include "app/engine/RowSink.h"

namespace flarecast::cli {

// Where the campaign's rows go: a line each on standard output (JSON or for a person), and the
// CSV log when there is one.
class RowOutput final : public engine::RowSink {
public:
    RowOutput(Terminal& terminal, CsvLog* csv, bool json);
    void append(const engine::Logfile& row) override;

    std::size_t sent() const;
    std::size_t notSent() const;

private:
    Terminal& terminal;
    CsvLog* const csv;
    const bool json;
    mutable std::mutex lock;
    std::size_t sentCount = 0;
    std::size_t notSentCount = 0;
    // A log that failed once is said so once, not at every row.
    bool csvFailed = false;
};

}  // namespace flarecast::cli
