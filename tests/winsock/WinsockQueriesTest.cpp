#include <gtest/gtest.h>

// clang-format off
#include <winsock2.h>
#include <ws2bth.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "bluetooth/native/winsock/QueryValues.h"
#include "bluetooth/native/winsock/SdpBlobs.h"
#include "bluetooth/native/winsock/WinsockQueries.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth::winsock {
namespace {

using DE = DataElement;

constexpr std::int64_t kDevice = 0x00123456789A;
constexpr ULONG kGiac = 0x9E8B33;

bool sameGuid(const GUID& left, const GUID& right) {
    return std::memcmp(&left, &right, sizeof left) == 0;
}

std::vector<std::uint8_t> blobBytes(const BLOB& blob) {
    return {blob.pBlobData, blob.pBlobData + blob.cbSize};
}

// Windows lays these out byte by byte; a padded one would not be understood.
TEST(WinsockQueries, TheStructuresHaveWindowsLayout) {
    EXPECT_EQ(sizeof(SOCKADDR_BTH), 30U);
    EXPECT_EQ(offsetof(BTH_QUERY_SERVICE, pRange), 4U + 4U + 12U * sizeof(SdpQueryUuid) + 4U);
    EXPECT_EQ(offsetof(BTH_SET_SERVICE, pRecord), 8U + 8U + 4U + 20U + 4U);
    const SOCKADDR_BTH address = rfcommAddress(kDevice, 9);
    EXPECT_EQ(address.addressFamily, AF_BTH);
    EXPECT_EQ(address.btAddr, 0x00123456789AULL);
    EXPECT_EQ(address.port, 9U);
    EXPECT_TRUE(sameGuid(address.serviceClassId, GUID{}));
}

TEST(WinsockQueries, AnInquiryAsksForTheAccessCodeForWholeSecondsAndReturnsNameAddressAndClass) {
    InquiryQuery query(static_cast<int>(kGiac), std::chrono::milliseconds(10240));
    const WSAQUERYSETW& set = query.restrictions();
    EXPECT_EQ(set.dwSize, sizeof(WSAQUERYSETW));
    EXPECT_EQ(set.dwNameSpace, static_cast<DWORD>(NS_BTH));
    ASSERT_NE(set.lpBlob, nullptr);
    EXPECT_EQ(set.lpBlob->cbSize, sizeof(BTH_QUERY_DEVICE));
    EXPECT_EQ(set.lpBlob->pBlobData, reinterpret_cast<const BYTE*>(&query.device()));
    EXPECT_EQ(query.device().LAP, kGiac);
    EXPECT_EQ(query.device().length, 11);
    EXPECT_EQ(InquiryQuery::kBeginFlags, static_cast<DWORD>(LUP_CONTAINERS | LUP_FLUSHCACHE));
    for (const DWORD flag : {LUP_CONTAINERS, LUP_RETURN_NAME, LUP_RETURN_ADDR, LUP_RETURN_TYPE}) {
        EXPECT_NE(InquiryQuery::kNextFlags & flag, 0U) << flag;
    }
}

TEST(WinsockQueries, AFoundDeviceHasItsNameInUtf8ItsAddressAndItsClass) {
    SOCKADDR_BTH address = rfcommAddress(kDevice, 0);
    CSADDR_INFO addresses{};
    addresses.RemoteAddr.lpSockaddr = reinterpret_cast<sockaddr*>(&address);
    addresses.RemoteAddr.iSockaddrLength = sizeof address;
    GUID deviceClass{};
    deviceClass.Data1 = 0x5A020C;
    std::wstring name = L"Ada\u2019s phone";
    WSAQUERYSETW result{};
    result.dwSize = sizeof result;
    result.lpszServiceInstanceName = name.data();
    result.lpServiceClassId = &deviceClass;
    result.dwNumberOfCsAddrs = 1;
    result.lpcsaBuffer = &addresses;
    EXPECT_EQ(foundDevice(result), (FoundDevice{"Ada\xE2\x80\x99s phone", kDevice, 0x5A020C}));

    result.lpszServiceInstanceName = nullptr;
    result.lpServiceClassId = nullptr;
    EXPECT_EQ(foundDevice(result), (FoundDevice{"", kDevice, 0}));

    addresses.RemoteAddr.iSockaddrLength = sizeof address - 1;
    EXPECT_EQ(foundDevice(result), std::nullopt) << "an address cut short";
    addresses.RemoteAddr.iSockaddrLength = sizeof address;
    address.addressFamily = AF_INET;
    EXPECT_EQ(foundDevice(result), std::nullopt) << "not a Bluetooth address";
    result.dwNumberOfCsAddrs = 0;
    EXPECT_EQ(foundDevice(result), std::nullopt) << "no address";
}

TEST(WinsockQueries, AServiceSearchOnADeviceAsksForEachRecordsHandleAlone) {
    const UUID own("0123456789abcdef0011223344556677", false);
    const std::vector<UUID> uuids{UUID(0x1105), own};
    const auto searched = searchUuids(uuids);
    ASSERT_TRUE(searched);
    ServiceSearchQuery query(kDevice, *searched);
    const WSAQUERYSETW& set = query.restrictions();
    EXPECT_EQ(set.dwSize, sizeof(WSAQUERYSETW));
    EXPECT_EQ(set.dwNameSpace, static_cast<DWORD>(NS_BTH));
    ASSERT_NE(set.lpszContext, nullptr);
    EXPECT_EQ(std::wstring(set.lpszContext), L"(00:12:34:56:78:9A)");
    ASSERT_NE(set.lpServiceClassId, nullptr);
    EXPECT_TRUE(sameGuid(*set.lpServiceClassId, toGuid(guidOf(UUID(0x1105)))));
    ASSERT_NE(set.lpBlob, nullptr);
    EXPECT_EQ(set.lpBlob->cbSize, sizeof(BTH_QUERY_SERVICE));

    const BTH_QUERY_SERVICE& service = query.service();
    EXPECT_EQ(set.lpBlob->pBlobData, reinterpret_cast<const BYTE*>(&service));
    EXPECT_EQ(service.type, static_cast<ULONG>(SDP_SERVICE_SEARCH_ATTRIBUTE_REQUEST));
    EXPECT_EQ(service.uuids[0].uuidType, SDP_ST_UUID16);
    EXPECT_EQ(service.uuids[0].u.uuid16, 0x1105);
    EXPECT_EQ(service.uuids[1].uuidType, SDP_ST_UUID128);
    EXPECT_TRUE(sameGuid(service.uuids[1].u.uuid128, toGuid(guidOf(own))));
    const SdpQueryUuid none{};
    EXPECT_EQ(std::memcmp(&service.uuids[2], &none, sizeof none), 0) << "ends the list";
    EXPECT_EQ(service.numRange, 1U);
    EXPECT_EQ(service.pRange[0].minAttribute, 0x0000);
    EXPECT_EQ(service.pRange[0].maxAttribute, 0x0000);
    EXPECT_EQ(ServiceSearchQuery::kNextFlags, static_cast<DWORD>(LUP_RETURN_BLOB));
    EXPECT_NE(ServiceSearchQuery::kBeginFlags & LUP_FLUSHCACHE, 0U) << "asks the device itself";
}

TEST(WinsockQueries, AnAttributeRequestCarriesAsManyRangesAsItNeeds) {
    const std::vector<AttributeRange> ranges{{0x0000, 0x0004}, {0x0009, 0x0009}, {0x0100, 0x0102}};
    AttributeQuery query(kDevice, 0x00010005, ranges);
    const WSAQUERYSETW& set = query.restrictions();
    EXPECT_EQ(std::wstring(set.lpszContext), L"(00:12:34:56:78:9A)");
    EXPECT_NE(set.lpServiceClassId, nullptr);
    ASSERT_NE(set.lpBlob, nullptr);
    EXPECT_EQ(set.lpBlob->cbSize,
              offsetof(BTH_QUERY_SERVICE, pRange) + ranges.size() * sizeof(SdpAttributeRange));
    const BTH_QUERY_SERVICE service = query.service();
    EXPECT_EQ(service.type, static_cast<ULONG>(SDP_SERVICE_ATTRIBUTE_REQUEST));
    EXPECT_EQ(service.serviceHandle, 0x00010005U);
    EXPECT_EQ(service.numRange, 3U);
    const auto sent = query.ranges();
    ASSERT_EQ(sent.size(), ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        EXPECT_EQ(sent[i].minAttribute, ranges[i].first) << i;
        EXPECT_EQ(sent[i].maxAttribute, ranges[i].last) << i;
    }
    // The blob's last bytes are the last range, so Windows reads no further.
    const auto bytes = blobBytes(*set.lpBlob);
    SdpAttributeRange last{};
    std::memcpy(&last, bytes.data() + bytes.size() - sizeof last, sizeof last);
    EXPECT_EQ(last.minAttribute, 0x0100);
    EXPECT_EQ(last.maxAttribute, 0x0102);
}

TEST(WinsockQueries, ARegistrationCarriesTheWholeRecordAndGetsItsHandleBack) {
    const auto record = DE::sequence({
        DE::make(DE::U_INT_2, std::int64_t{0x0001}),
        DE::sequence({DE::make(DE::UUID, UUID(0x1105))}),
        DE::make(DE::U_INT_2, std::int64_t{0x0100}),
        DE::make(DE::STRING, "Push"),
    });
    ByteArrayOutputStream out;
    SDPOutputStream(out).writeElement(*record);
    const Bytes& bytes = out.toByteArray();
    SetServiceQuery query(bytes);
    WSAQUERYSETW& set = query.registration();
    EXPECT_EQ(set.dwSize, sizeof(WSAQUERYSETW));
    EXPECT_EQ(set.dwNameSpace, static_cast<DWORD>(NS_BTH));
    ASSERT_NE(set.lpServiceClassId, nullptr);
    EXPECT_TRUE(sameGuid(*set.lpServiceClassId, toGuid(guidOf(UUID(0x1105)))));
    ASSERT_NE(set.lpBlob, nullptr);
    EXPECT_EQ(set.lpBlob->cbSize, offsetof(BTH_SET_SERVICE, pRecord) + bytes.size());

    const BTH_SET_SERVICE service = query.service();
    ASSERT_NE(service.pSdpVersion, nullptr);
    EXPECT_EQ(*service.pSdpVersion, static_cast<ULONG>(BTH_SDP_VERSION));
    ASSERT_NE(service.pRecordHandle, nullptr);
    EXPECT_EQ(*service.pRecordHandle, nullptr) << "a new registration";
    EXPECT_EQ(service.ulRecordLength, bytes.size());
    EXPECT_EQ(service.fCodService, 0U);
    const auto carried = query.record();
    EXPECT_EQ(Bytes(carried.begin(), carried.end()), bytes);
    // Registering writes the handle through the pointer; deleting reads it from there.
    *service.pRecordHandle = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(query.recordHandle(), reinterpret_cast<HANDLE>(0x1234));
}

}  // namespace
}  // namespace flarecast::bluetooth::winsock
