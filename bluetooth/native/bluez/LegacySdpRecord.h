#pragma once

#include <bluetooth/bluetooth.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>

#include <cstdint>
#include <span>

namespace flarecast::bluetooth::bluez {

// A service record published through the local SDP server's socket (bluetoothd --compat), for as
// long as this object lives: the server withdraws it when our session to it closes. The record
// gets a handle of its own, whatever handle the bytes carry. An I/O error when the server cannot
// be reached or refuses the record.
class LegacySdpRecord {
public:
    LegacySdpRecord(const bdaddr_t& adapter, std::span<const std::uint8_t> record);
    ~LegacySdpRecord();
    LegacySdpRecord(const LegacySdpRecord&) = delete;
    LegacySdpRecord& operator=(const LegacySdpRecord&) = delete;

    std::uint32_t handle() const { return recordHandle; }

private:
    bdaddr_t adapter;
    sdp_session_t* session = nullptr;
    std::uint32_t recordHandle = 0;
};

}  // namespace flarecast::bluetooth::bluez
