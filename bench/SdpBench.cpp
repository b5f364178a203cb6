// Decoding and encoding service records: ours next to the system's own SDP parser, on the same
// bytes, in one run; the _Ratio benchmarks give our decoding time over the system parser's.
#include <benchmark/benchmark.h>
#include <bluetooth/bluetooth.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <time.h>

#include "bluetooth/records/ServiceRecordImpl.h"
#include "bluetooth/sdp/SDPInputStream.h"

using namespace flarecast::bluetooth;
using DE = DataElement;

namespace {

DE::Ptr uuid(std::int64_t value) {
    return DE::make(DE::UUID, UUID(value));
}

// An Object Push record as phones publish it: short UUIDs, 1-byte sequence lengths.
const Bytes kPhoneOppRecord = {
    0x35, 0x57, 0x09, 0x00, 0x00, 0x0a, 0x00, 0x01, 0x00, 0x05, 0x09, 0x00, 0x01, 0x35, 0x03,
    0x19, 0x11, 0x05, 0x09, 0x00, 0x04, 0x35, 0x11, 0x35, 0x03, 0x19, 0x01, 0x00, 0x35, 0x05,
    0x19, 0x00, 0x03, 0x08, 0x09, 0x35, 0x03, 0x19, 0x00, 0x08, 0x09, 0x00, 0x05, 0x35, 0x03,
    0x19, 0x10, 0x02, 0x09, 0x00, 0x09, 0x35, 0x08, 0x35, 0x06, 0x19, 0x11, 0x05, 0x09, 0x01,
    0x02, 0x09, 0x01, 0x00, 0x25, 0x10, 0x4f, 0x42, 0x45, 0x58, 0x20, 0x4f, 0x62, 0x6a, 0x65,
    0x63, 0x74, 0x20, 0x50, 0x75, 0x73, 0x68, 0x09, 0x03, 0x03, 0x35, 0x02, 0x08, 0xff};

std::unique_ptr<ServiceRecordImpl> localOppRecord() {
    auto record = std::make_unique<ServiceRecordImpl>(std::nullopt, 0);
    record->setAttributeValue(1, DE::sequence({uuid(0x1105)}));
    record->setAttributeValue(4,
                              DE::sequence({DE::sequence({uuid(0x0100)}),
                                            DE::sequence({uuid(0x0003), DE::make(DE::U_INT_1, 9)}),
                                            DE::sequence({uuid(0x0008)})}));
    record->setAttributeValue(5, DE::sequence({uuid(0x1002)}));
    record->setAttributeValue(
        9, DE::sequence({DE::sequence({uuid(0x1105), DE::make(DE::U_INT_2, 0x102)})}));
    record->setAttributeValue(0x100, DE::make(DE::STRING, "OBEX Object Push"));
    record->setAttributeValue(0x303, DE::sequence({DE::make(DE::U_INT_1, 0xff)}));
    return record;
}

std::unique_ptr<ServiceRecordImpl> localRecordOf64() {
    auto record = std::make_unique<ServiceRecordImpl>(std::nullopt, 0);
    for (int id = 1; id <= 64; ++id) {
        switch (id % 4) {
            case 0:
                record->setAttributeValue(id, DE::make(DE::U_INT_4, std::int64_t{id} * 1000));
                break;
            case 1:
                record->setAttributeValue(id,
                                          DE::make(DE::STRING, "attribute " + std::to_string(id)));
                break;
            case 2:
                record->setAttributeValue(
                    id, DE::sequence({uuid(0x1100 + id), DE::make(DE::U_INT_2, id)}));
                break;
            default:
                record->setAttributeValue(
                    id, DE::sequence({DE::sequence({uuid(0x0003), DE::make(DE::U_INT_1, id)})}));
                break;
        }
    }
    return record;
}

const Bytes& recordOf64Bytes() {
    static const Bytes bytes = localRecordOf64()->toByteArray();
    return bytes;
}

void decodeOnceOurs(const Bytes& bytes) {
    ServiceRecordImpl record(RemoteDevice("", 1), 1);
    record.storeAttributeList(bytes);
    benchmark::DoNotOptimize(&record);
}

// False if the system parser rejected the bytes.
bool decodeOnceSystem(const Bytes& bytes) {
    int scanned = 0;
    sdp_record_t* record = sdp_extract_pdu(bytes.data(), static_cast<int>(bytes.size()), &scanned);
    if (record == nullptr) {
        return false;
    }
    benchmark::DoNotOptimize(scanned);
    sdp_record_free(record);
    return true;
}

void decodeOurs(benchmark::State& state, const Bytes& bytes) {
    for (auto _ : state) {
        decodeOnceOurs(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void decodeSystem(benchmark::State& state, const Bytes& bytes) {
    for (auto _ : state) {
        if (!decodeOnceSystem(bytes)) {
            state.SkipWithError("the system parser rejected the record");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// The processor time this thread spent so far: unlike the wall clock, it leaves out the time
// other processes take the processor away.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Our time over the system parser's on the same bytes, as the counter ours/system. The two run in
// alternating batches, so that both see the same state of the machine.
void decodeRatio(benchmark::State& state, const Bytes& bytes) {
    constexpr int kBatch = 64;
    double ours = 0;
    double system = 0;
    for (auto _ : state) {
        const double start = threadSeconds();
        for (int i = 0; i < kBatch; ++i) {
            decodeOnceOurs(bytes);
        }
        const double middle = threadSeconds();
        for (int i = 0; i < kBatch; ++i) {
            if (!decodeOnceSystem(bytes)) {
                state.SkipWithError("the system parser rejected the record");
                return;
            }
        }
        ours += middle - start;
        system += threadSeconds() - middle;
    }
    state.counters["ours/system"] = ours / system;
}

void BM_DecodeOppRecord_Ours(benchmark::State& state) {
    decodeOurs(state, kPhoneOppRecord);
}
void BM_DecodeOppRecord_System(benchmark::State& state) {
    decodeSystem(state, kPhoneOppRecord);
}
void BM_DecodeOppRecord_Ratio(benchmark::State& state) {
    decodeRatio(state, kPhoneOppRecord);
}
void BM_Decode64Attributes_Ours(benchmark::State& state) {
    decodeOurs(state, recordOf64Bytes());
}
void BM_Decode64Attributes_System(benchmark::State& state) {
    decodeSystem(state, recordOf64Bytes());
}
void BM_Decode64Attributes_Ratio(benchmark::State& state) {
    decodeRatio(state, recordOf64Bytes());
}

// What a pass reads of a phone's record once decoded: its connection URL.
void BM_ConnectionUrlOfDecodedOppRecord(benchmark::State& state) {
    ServiceRecordImpl record(RemoteDevice("", 1), 1);
    record.storeAttributeList(kPhoneOppRecord);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            record.getConnectionURL(ServiceRecord::NOAUTHENTICATE_NOENCRYPT, false));
    }
}

void encode(benchmark::State& state, const ServiceRecordImpl& record) {
    std::size_t size = 0;
    for (auto _ : state) {
        const Bytes bytes = record.toByteArray();
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_EncodeOppRecord_Ours(benchmark::State& state) {
    encode(state, *localOppRecord());
}
void BM_Encode64Attributes_Ours(benchmark::State& state) {
    encode(state, *localRecordOf64());
}

}  // namespace

BENCHMARK(BM_DecodeOppRecord_Ours);
BENCHMARK(BM_DecodeOppRecord_System);
BENCHMARK(BM_DecodeOppRecord_Ratio);
BENCHMARK(BM_Decode64Attributes_Ours);
BENCHMARK(BM_Decode64Attributes_System);
BENCHMARK(BM_Decode64Attributes_Ratio);
BENCHMARK(BM_ConnectionUrlOfDecodedOppRecord);
BENCHMARK(BM_EncodeOppRecord_Ours);
BENCHMARK(BM_Encode64Attributes_Ours);
