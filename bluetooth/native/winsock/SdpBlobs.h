#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "bluetooth/io/Streams.h"
#include "bluetooth/sdp/DataElement.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth::winsock {

// What a service lookup hands back is a device's answer in raw SDP bytes, so every function here
// takes it as untrusted: bytes that are not what they should be are an I/O error.

// A service record: its attribute ID / value pairs in their order.
using RecordPairs = std::vector<std::pair<int, DataElement::Ptr>>;

// The records in one blob: a single record (a sequence of 16-bit attribute IDs and values) or a
// sequence of such records.
std::vector<RecordPairs> blobRecords(std::span<const std::uint8_t> blob);

// The record handle (attribute 0x0000) of every record in the blobs, in their order.
std::vector<int> recordHandles(const std::vector<Bytes>& blobs);

// The attributes attrIDs of the record with that handle among the blobs, as one SDP sequence of
// ID / value pairs in ascending ID order; empty when no record has that handle or none of the
// attributes. A lone record without a handle is taken as the one asked for.
Bytes recordAttributes(const std::vector<Bytes>& blobs, int handle, std::span<const int> attrIDs);

// The record without its handle attribute: the local SDP server gives a record its own handle.
Bytes withoutRecordHandle(std::span<const std::uint8_t> record);

// The first UUID in the record's service class ID list (attribute 0x0001), if it has one.
std::optional<UUID> firstServiceClass(std::span<const std::uint8_t> record);

}  // namespace flarecast::bluetooth::winsock
