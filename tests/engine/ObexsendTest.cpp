#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <map>

#include "EngineTesting.h"
#include "GatedPhones.h"
#include "Phones.h"
#include "app/engine/Obexsend.h"
#include "bluetooth/io/Errors.h"
#include "obex/OBEXConnector.h"

namespace flarecast::engine {
namespace {

namespace fs = std::filesystem;
using obex::Bytes;
using obex::HeaderSet;

// What a server received: the headers of the first PUT packet and the whole object.
class Receiver final : public obex::ServerRequestHandler {
public:
    std::mutex lock;
    std::optional<std::string> name;
    std::optional<std::string> type;
    std::optional<std::int64_t> length;
    Bytes object;

    int onPut(obex::Operation& operation) override {
        const auto headers = operation.getReceivedHeaders();
        Bytes bytes;
        const auto in = operation.openInputStream();
        std::uint8_t buffer[4096];
        for (int count; (count = in->read(buffer)) > 0;) {
            bytes.insert(bytes.end(), buffer, buffer + count);
        }
        const std::lock_guard guard(lock);
        name = headers.get<std::string>(HeaderSet::NAME);
        type = headers.get<std::string>(HeaderSet::TYPE);
        length = headers.get<std::int64_t>(HeaderSet::LENGTH);
        object = std::move(bytes);
        return obex::ResponseCodes::OBEX_HTTP_OK;
    }
};

std::string urlOf(const char* address, int channel) {
    return std::string("btspp://") + address + ":" + std::to_string(channel) +
           ";authenticate=false;encrypt=false";
}

// Runs one push job to its end; the rows and what it printed.
std::pair<std::vector<Logfile>, std::string> push(const std::string& url, const fs::path& file,
                                                  const Logfile& row = {"Ada's phone",
                                                                        "001234560002", "today",
                                                                        false}) {
    Rows rows;
    ::testing::internal::CaptureStdout();
    {
        Obexsend job(url, file, row, rows);
        job.start();
        EXPECT_TRUE(testing::eventually([&job] { return job.finished(); }));
    }
    return {rows.all(), ::testing::internal::GetCapturedStdout()};
}

class ObexsendTest : public ::testing::Test {
protected:
    void SetUp() override { Phones::get(); }
    testing::TempFolder files;
};

TEST_F(ObexsendTest, EachFileTypeGoesWithItsNameTypeAndLength) {
    const auto server = obex::OBEXConnector::openNotifier("btgoep://localhost:1105");
    struct Case {
        const char* name;
        std::optional<std::string> type;
        const char* announced;
    };
    const Case cases[] = {
        {"photo.jpg", "image/jpeg", "Image Selected\n"},
        {"PHOTO.PNG", "image/png", "Image Selected\n"},
        {"clip.3gp", "video/3gpp", ""},
        {"card.vcf", "text/x-vcard", "Text Selected\n"},
        {"offer.txt", "text/plain", "Text Selected\n"},
        {"list.vcl", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("contents of ") + c.name;
        const fs::path file = fileWith(files.path, c.name, text);
        const auto receiver = std::make_shared<Receiver>();
        auto serving = std::async(std::launch::async, [&] { server->acceptAndOpen(receiver); });
        const auto [rows, printed] = push(urlOf("001234560001", 3), file);
        serving.get();
        ASSERT_EQ(rows.size(), 1U) << c.name;
        EXPECT_TRUE(rows[0].sent) << c.name << "\n" << printed;
        EXPECT_EQ(printed, std::string(c.name).substr(std::string(c.name).size() - 3) +
                               "\nopening\ncreated header set\n" + c.announced +
                               "putting....\nput....\nclosed...\n");
        const std::lock_guard guard(receiver->lock);
        EXPECT_EQ(receiver->name, c.name);
        EXPECT_EQ(receiver->type, c.type) << c.name;
        EXPECT_EQ(receiver->length, static_cast<std::int64_t>(text.size())) << c.name;
        EXPECT_EQ(receiver->object, Bytes(text.begin(), text.end())) << c.name;
        ASSERT_TRUE(testing::eventually([&] { return server->clientGone(); }));
    }
}

TEST_F(ObexsendTest, OnlyAWholeObjectThatThePhoneTookCountsAsSent) {
    const std::string big(10000, 'x');
    struct Case {
        const char* phone;
        const char* name;
        std::string text;
        bool sent;
    };
    const Case cases[] = {
        {"001234560002", "offer.txt", "an offer", true},   // strict, accepts
        {"001234560003", "offer.txt", "an offer", false},  // declines
        {"001234560004", "big.txt", big, false},           // drops mid-body
        {"001234560002", "empty.txt", "", false},          // strict: LENGTH 0
        {"001234560005", "empty.txt", "", true},           // plain: an empty file
        {"001234560099", "offer.txt", "an offer", false},  // not there
    };
    for (const auto& c : cases) {
        const auto [rows, printed] = push(urlOf(c.phone, 9), fileWith(files.path, c.name, c.text),
                                          {"phone", c.phone, "Thursday", true});
        ASSERT_EQ(rows.size(), 1U) << c.phone;
        EXPECT_EQ(rows[0].sent, c.sent) << c.phone << " " << c.name << "\n" << printed;
        EXPECT_EQ(rows[0].bluetoothname, "phone");
        EXPECT_EQ(rows[0].bluetoothaddress, c.phone);
        EXPECT_EQ(rows[0].datesent, "Thursday");
    }
    EXPECT_TRUE(fs::exists(Phones::get().inbox() / "offer.txt"));
    EXPECT_TRUE(fs::exists(Phones::get().inbox() / "empty.txt"));
    EXPECT_EQ(fs::file_size(Phones::get().inbox() / "empty.txt"), 0U);
}

// Each way a push ends, among phones that end it so; the row says why, with the error that
// ended it and the phone's answer.
TEST_F(ObexsendTest, EveryRowSaysWhyItsPushEndedAsItDid) {
    Owners owners;
    const GatedPhone waiting(owners, 1);
    constexpr int kDropAfter = 20000;
    const std::pair<const char*, std::string> phones[] = {
        {"0012345600d1", "{}"},
        {"0012345600d2", R"({ "prompt": "decline" })"},
        {"0012345600d3", R"({ "refuse_put": "0xCF" })"},
        {"0012345600d4", R"({ "preset": "strict" })"},
        {"0012345600d5", R"({ "drop_after_bytes": )" + std::to_string(kDropAfter) + " }"},
        {"0012345600d6", R"({ "prompt": "ignore", "prompt_timeout_ms": 600000 })"},
        {"0012345600d7", R"({ "refuse_connect": "0xC3" })"},
        {"0012345600d8", R"("tcp:127.0.0.1:)" + std::to_string(waiting.port()) + R"(")"},
    };
    std::string devices;
    for (const auto& [address, channel] : phones) {
        devices += std::string(devices.empty() ? "" : ",\n") + R"({ "address": ")" + address +
                   R"(", "rfcomm": { "9": )" + channel + " } }";
    }
    OtherPhones neighbourhood(R"({ "inquiry_ms": 20, "devices": [ )" + devices + " ] }");
    constexpr std::size_t kBig = 64 * 1024;
    struct Case {
        const char* what;
        const char* address;
        int channel;
        // The file pushed, of that many bytes; none is there without a size.
        const char* file;
        std::optional<std::size_t> size;
        // "Connection lost after N KiB" stands for N near where the phone dropped the connection.
        std::string detail;
        std::optional<int> code;
        // Not checked when absent.
        std::optional<std::string> error;
        std::optional<std::chrono::milliseconds> limit = std::nullopt;
        // Cancelled once the phone has the connection.
        bool cancel = false;
    };
    const Case cases[] = {
        {"sent", "0012345600d1", 9, "offer.txt", 8, "Sent", 0xA0, ""},
        {"declined", "0012345600d2", 9, "offer.txt", 8, "Declined on the phone (0xC3)", 0xC3,
         "Command not accepted 195(2)"},
        {"unsupported type", "0012345600d3", 9, "offer.txt", 8,
         "Phone refused the file type (0xCF)", 0xCF, "Command not accepted 207(2)"},
        // A strict phone takes no object without a length.
        {"length required", "0012345600d4", 9, "empty.txt", 0,
         "Phone asks for the file's length (0xCB)", 0xCB, "Command not accepted 203(2)"},
        {"dropped mid-body", "0012345600d5", 9, "big.txt", kBig, "Connection lost after N KiB",
         std::nullopt, "End of stream while reading a packet"},
        {"no answer in time", "0012345600d6", 9, "offer.txt", 8, "Phone did not answer in time",
         std::nullopt, "No response from the peer", std::chrono::milliseconds(500)},
        {"connection refused", "0012345600d7", 9, "offer.txt", 8,
         "Phone refused the connection (0xC3)", 0xC3, "Connection not accepted 195"},
        {"out of range", "0012345600ff", 9, "offer.txt", 8, "Not reachable", std::nullopt,
         "no device in range has that address"},
        {"no such channel", "0012345600d1", 7, "offer.txt", 8, "Not reachable", std::nullopt,
         "connection refused"},
        {"file gone", "0012345600d1", 9, "gone.txt", std::nullopt, "Cannot read the file",
         std::nullopt, "Cannot read " + bluetooth::utf8Of(files.path / "gone.txt")},
        {"cancelled", "0012345600d8", 9, "offer.txt", 8, "Cancelled", std::nullopt, std::nullopt,
         std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file =
            c.size ? fileWith(files.path, c.file, std::string(*c.size, 'x')) : files.path / c.file;
        Rows rows;
        Printed printed;
        {
            Obexsend job(urlOf(c.address, c.channel), file, {"phone", c.address, "today", false},
                         rows);
            if (c.limit) {
                job.setResponseLimit(*c.limit);
            }
            job.start();
            if (c.cancel) {
                EXPECT_TRUE(owners.waitForArrivals(1));
                job.cancel();
            }
            EXPECT_TRUE(testing::eventually([&job] { return job.finished(); }));
        }
        const std::string text = printed.take();
        const auto all = rows.all();
        ASSERT_EQ(all.size(), 1U) << text;
        const Logfile& row = all[0];
        EXPECT_EQ(row.sent, c.detail == "Sent") << text;
        if (c.detail == "Connection lost after N KiB") {
            const std::string lost = "Connection lost after ";
            ASSERT_TRUE(row.detail.starts_with(lost) && row.detail.ends_with(" KiB")) << row.detail;
            // What the job had handed over lies within a packet, and a read of the file, of where
            // the phone dropped the connection.
            const int kib = std::stoi(row.detail.substr(lost.size()));
            EXPECT_GE(kib, kDropAfter / 1024 - 10) << row.detail;
            EXPECT_LE(kib, kDropAfter / 1024 + 10) << row.detail;
        } else {
            EXPECT_EQ(row.detail, c.detail) << text;
        }
        EXPECT_EQ(row.responseCode, c.code);
        if (c.error) {
            EXPECT_EQ(row.error, *c.error);
        }
    }
}

TEST_F(ObexsendTest, ANameShorterThanAFileTypeStartsNoJob) {
    Rows rows;
    EXPECT_THROW(Obexsend(urlOf("001234560002", 9), files.path / "ab", {}, rows),
                 bluetooth::IllegalArgumentError);
    EXPECT_TRUE(rows.all().empty());
}

TEST_F(ObexsendTest, APassPushesOnceToEveryDeviceThatOffersObjectPush) {
    const fs::path file = fileWith(files.path, "offer.txt", "An offer for you");
    Rows rows;
    ::testing::internal::CaptureStdout();
    {
        PushJobs jobs;
        Bluetoothfunctions worker(file, rows, jobs, kQuick);
        EXPECT_TRUE(worker.stopped);
        worker.running = true;
        worker.start();
        EXPECT_FALSE(worker.stopped);
        ASSERT_TRUE(testing::eventually([&] { return worker.stopped.load(); }));
        jobs.waitUntilAllEnded();
    }
    const std::string printed = ::testing::internal::GetCapturedStdout();
    // One row per device with the service, whatever its push gave; none for the others, and
    // none twice for the device reported twice.
    std::map<std::string, bool> sent;
    for (const auto& row : rows.all()) {
        EXPECT_FALSE(sent.contains(row.bluetoothaddress)) << row.bluetoothaddress;
        sent[row.bluetoothaddress] = row.sent;
        EXPECT_FALSE(row.datesent.empty());
    }
    EXPECT_EQ(sent, (std::map<std::string, bool>{{"001234560002", true},
                                                 {"001234560003", false},
                                                 {"001234560004", true},
                                                 {"001234560005", true}}))
        << printed;
    EXPECT_NE(printed.find("Service Search No Records\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Service Search Error\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Device Not Reachable\n"), std::string::npos) << printed;
}

}  // namespace
}  // namespace flarecast::engine
