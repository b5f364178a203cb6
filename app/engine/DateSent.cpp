#include "app/engine/DateSent.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace flarecast::engine {

std::string fullDateTime(std::chrono::system_clock::time_point moment) {
    const std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kFull, icu::DateFormat::kFull, icu::Locale::getDefault()));
    if (!format) {
        return {};
    }
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch());
    icu::UnicodeString text;
    format->format(static_cast<UDate>(milliseconds.count()), text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

}  // namespace flarecast::engine
