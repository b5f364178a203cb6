#pragma once

#include "app/engine/Logfile.h"

namespace flarecast::engine {

// Where push jobs put their rows. append may be called from any thread; rows keep their order.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void append(const Logfile& row) = 0;
};

}  // namespace flarecast::engine
