#pragma once

#include <optional>
#include <string_view>

#include "obex/headers/HeaderSetImpl.h"

namespace flarecast::obex {

// Whether the receiver of a phone takes an object of this TYPE: a MIME type, compared without
// regard to case or parameters, from the kinds a phone opens.
bool acceptedType(std::string_view type);

// How a strict phone answers the headers of an object's first packet: continue (0x90), or the
// code that refuses the object.
int strictVerdict(const HeaderSetImpl& headers);

}  // namespace flarecast::obex
