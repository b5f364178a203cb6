#include <gtest/gtest.h>

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <memory>
#include <string>
#include <vector>

#include "bluetooth/discovery/DiscoveryAgent.h"
#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/winsock/ServiceLookup.h"
#include "bluetooth/native/winsock/WinsockQueries.h"
#include "bluetooth/native/winsock/WinsockStack.h"

namespace flarecast::bluetooth::winsock {
namespace {

const std::string kWineReason = "Windows has no Bluetooth radio to use (Winsock error 10043)";

bool underWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Whether Winsock is started in this process: a socket can be made only then.
bool winsockStarted() {
    const SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) {
        return ::WSAGetLastError() != WSANOTINITIALISED;
    }
    ::closesocket(probe);
    return true;
}

// Wine has no Bluetooth sockets (socket(AF_BTH) fails with WSAEPROTONOSUPPORT): the case of a
// Windows without a radio.
TEST(WinsockStack, WithoutARadioOpeningFailsWithTheReasonAndLeavesWinsockAsItWas) {
    const bool startedBefore = winsockStarted();
    std::unique_ptr<WinsockStack> stack;
    try {
        stack = WinsockStack::open();
    } catch (const IOError& error) {
        if (underWine()) {
            EXPECT_EQ(error.getMessage(), kWineReason);
        } else {
            EXPECT_NE(error.getMessage().find("(Winsock error "), std::string::npos)
                << error.getMessage();
        }
        EXPECT_EQ(winsockStarted(), startedBefore) << "the stack that never came to be stopped";
        return;
    }
    EXPECT_FALSE(underWine()) << "wine has no Bluetooth sockets";
    EXPECT_TRUE(winsockStarted());
    stack.reset();
    EXPECT_EQ(winsockStarted(), startedBefore);
    GTEST_SKIP() << "this machine has a Bluetooth radio";
}

TEST(WinsockStack, WithoutARadioTheProgramSaysSoOnceAndFindsNothing) {
    if (!underWine()) {
        GTEST_SKIP() << "only wine is sure to have no radio";
    }
    std::vector<std::string> lines;
    std::unique_ptr<NativeStack> stack;
    {
        const ConsoleRedirect redirect(
            [&lines](std::string_view line) { lines.emplace_back(line); });
        stack = createNativeStack(nullptr);
    }
    EXPECT_EQ(lines, std::vector<std::string>{"Bluetooth is not available: " + kWineReason});
    EXPECT_EQ(stack->doInquiry(
                  DiscoveryAgent::GIAC,
                  [](const std::string&, std::int64_t, int) { ADD_FAILURE(); }, {}, 0),
              DiscoveryListener::INQUIRY_ERROR);
    try {
        stack->socket(false, false);
        ADD_FAILURE() << "a socket without Bluetooth";
    } catch (const BluetoothStateException& error) {
        EXPECT_EQ(error.getMessage(), kWineReason);
    }
}

// A lookup that Windows refuses at once reports why, yields nothing and ends nothing.
TEST(ServiceLookup, ALookupThatCannotBeginReportsItsErrorAndYieldsNothing) {
    if (!underWine()) {
        GTEST_SKIP() << "a real Bluetooth name space would begin an inquiry";
    }
    WSADATA data{};
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    {
        InquiryQuery query(DiscoveryAgent::GIAC, std::chrono::seconds(1));
        ServiceLookup lookup(query.restrictions(), InquiryQuery::kBeginFlags);
        EXPECT_NE(lookup.error(), 0);
        EXPECT_EQ(lookup.next(InquiryQuery::kNextFlags), nullptr);
        lookup.cancel();
        EXPECT_EQ(lookup.next(InquiryQuery::kNextFlags), nullptr);
    }
    ::WSACleanup();
}

}  // namespace
}  // namespace flarecast::bluetooth::winsock
