#include "app/cli/RowOutput.h"

#include "app/cli/RowText.h"

namespace flarecast::cli {

RowOutput::RowOutput(Terminal& terminal, CsvLog* csv, bool json)
    : terminal(terminal), csv(csv), json(json) {}

void RowOutput::append(const engine::Logfile& row) {
    // One row at a time, so that the log and the output keep the same order.
    const std::lock_guard guard(lock);
    ++(row.sent ? sentCount : notSentCount);
    if (csv != nullptr && !csvFailed) {
        try {
            csv->append(row);
        } catch (const CsvLogError& error) {
            csvFailed = true;
            terminal.err(error.what());
        }
    }
    terminal.out(json ? jsonLine(row) : readableLine(row));
}

std::size_t RowOutput::sent() const {
    const std::lock_guard guard(lock);
    return sentCount;
}

std::size_t RowOutput::notSent() const {
    const std::lock_guard guard(lock);
    return notSentCount;
}

}  // namespace flarecast::cli
