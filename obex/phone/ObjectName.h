#pragma once

#include <string>
#include <string_view>

namespace flarecast::obex {

// The file name for a received object's NAME, which is never used as a path: its last path
// component, without control characters, characters that mean something in a path on any system,
// and leading or trailing dots and spaces; fallback when nothing is left.
std::string safeFileName(std::string_view name, std::string_view fallback = "received");

// name with " (n)" before its extension; name itself for n == 0.
std::string numberedFileName(const std::string& name, int n);

// A dot with text before and after it.
bool hasExtension(std::string_view name);

}  // namespace flarecast::obex
