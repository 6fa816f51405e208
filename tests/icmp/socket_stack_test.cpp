#include "icmp/icmp_client.h"
#include "icmp/net_component.h"
#include "icmp/net_exceptions.h"
#include "icmp/socket_stack_posix.h"
#include "platform/format.h"
#include "tests/icmp/scripted_stack.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

namespace {

std::string parsed(const std::string& text)
{
    TAddressBytes b;
    return TSocketStack::ParseAddress(text, b) ? TSocketStack::AddressToText(b.data()) : "invalid";
}

TEST(AddressTest, ParsesTheFourFormsAndTheirPartSyntax)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.1.1", "192.168.1.1"},
        {"10.1", "10.0.0.1"},
        {"10.1.300", "10.1.1.44"},
        {"3232235777", "192.168.1.1"},
        {"4294967295", "255.255.255.255"},
        {"4294967296", "invalid"},
        {"1.2.3.4.5", "invalid"},
        {"1..3", "0.0.0.1"},
        {"127.1", "127.0.0.1"},
        {"0x7f.0.0.1", "127.0.0.1"},
        {"$7f.0.0.1", "127.0.0.1"},
        {" 10.0.0.1", "10.0.0.1"},
        {"10.0.0.1 ", "invalid"},
        {"192.168.1.256", "invalid"},
        {"10.16777215", "10.255.255.255"},
        {"10.16777216", "invalid"},
        {"1.2.65535", "1.2.255.255"},
        {"1.2.65536", "invalid"},
        {"-1.0.0.0", "invalid"},
        {"+1.2.3.4", "1.2.3.4"},
        {"router", "invalid"},
        {"", "invalid"},
        {".", "invalid"},
        {"1.2.3.", "1.2.0.3"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parsed(text), expected) << '"' << text << '"';
}

TEST(AddressTest, ResolvesLocalhostAndLiteralsWithoutALookup)
{
    ScriptedNetwork network;
    TIcmpClient keepsTheStack;
    TSocketStack& stack = *SharedStack();
    for (const char* name : {"localhost", "LocalHost", "LOCALHOST"})
        EXPECT_EQ(stack.ResolveToAddress(name), "127.0.0.1");
    EXPECT_EQ(stack.ResolveToAddress("127.1"), "127.1") << "returned as given";
    EXPECT_EQ(stack.ResolveToAddress("192.168.1.1"), "192.168.1.1");
    EXPECT_EQ(network.state().lookups, 0);
    EXPECT_THROW(stack.ResolveToAddress("192.168.1.256"), ENetSocketError);
    EXPECT_THROW(stack.ResolveToAddress(""), ENetSocketError);
    EXPECT_THROW(stack.ResolveToAddress(std::string("localhost\0x", 11)), ENetSocketError);
    EXPECT_EQ(network.state().lookups, 3);
    try {
        TSocketStack::TextToAddress("1.2.3.4.5");
        FAIL();
    } catch (const ENetInvalidIPAddress& error) {
        EXPECT_EQ(error.Message(), "1.2.3.4.5 is not a valid IP address.");
    }
}

TEST(AddressTest, Ipv6LiteralsWithTheirZonesReadAndPrintBack)
{
    const std::pair<std::string_view, const char*> cases[] = {
        {"::1", "::1"},
        {"2001:DB8:0:0::1", "2001:db8::1"},
        {"fe80::1%lo", "fe80::1%lo"},
        {"fe80::1%1", "fe80::1%lo"},
        {"::ffff:10.0.0.1", "::ffff:10.0.0.1"},
        {"1:0:0:2:0:0:0:3", "1:0:0:2::3"},
        {"1:0:0:2:0:0:3:4", "1::2:0:0:3:4"},
        {"0:0:0:0:0:0:0:0", "::"},
        {"1:0:2:0:3:0:4:0", "1:0:2:0:3:0:4:0"},
        {"ABCD:0:0:0:0:0:0:0", "abcd::"},
        {"fe80::1%", "invalid"},
        {"fe80::1%no-such-interface", "invalid"},
        {"1::2::3", "invalid"},
        {"[::1]", "invalid"},
        {" ::1", "invalid"},
        {std::string_view("::1\0x", 5), "invalid"},
        {"127.1", "127.0.0.1"},
    };
    for (const auto& [text, expected] : cases) {
        std::string printed = "invalid";
        try {
            printed = TSocketStack::IpAddressToText(TSocketStack::TextToIpAddress(std::string(text)));
        } catch (const ENetInvalidIPAddress&) { }
        EXPECT_EQ(printed, expected) << '"' << text << '"';
    }
}

TEST(SocketErrorTextTest, FormatsEveryNumber)
{
    TSocketStackPosix stack;
    EXPECT_EQ(stack.SocketErrorText(10060), "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_EQ(stack.SocketErrorText(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(stack.SocketErrorText(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(stack.SocketErrorText(10093), "Socket Error # 10093\r\n");
    EXPECT_EQ(stack.SocketErrorText(11001), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(stack.SocketErrorText(11004), "Socket Error # 11004\r\n");
}

TEST(SocketErrorTextTest, LinuxErrorsMapOntoTheirMeaning)
{
    EXPECT_EQ(SocketErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(SocketErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(SocketErrorFromErrno(EMSGSIZE), 10040);
    EXPECT_EQ(SocketErrorFromErrno(EACCES), 10013);
    EXPECT_EQ(SocketErrorFromErrno(EPERM), 10013);
    EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketErrorFromErrno(ENOTEMPTY), 10066);
    EXPECT_EQ(SocketErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(SocketErrorFromErrno(EINTR), 10004);
    // Errors without a counterpart must not borrow the text of the Windows number errno + 10000 names.
    TSocketStackPosix stack;
    for (int unmapped : {EDEADLK, ENOSYS, ENOLCK, ENOMSG, EIDRM, EIO})
        EXPECT_EQ(stack.SocketErrorText(SocketErrorFromErrno(unmapped)), Format("Socket Error # %d\r\n", unmapped))
            << unmapped;
    EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME), 11001);
    EXPECT_EQ(SocketErrorFromResolver(EAI_AGAIN), 11002);
    EXPECT_EQ(SocketErrorFromResolver(EAI_NODATA), 11004);
}

TEST(WaitForSocketsTest, LimitsTheSetAndConvertsTheTime)
{
    ScriptedNetwork network;
    TIcmpClient keepsTheStack;
    TSocketStack& stack = *SharedStack();
    std::vector<TSocketId> tooMany(65, 3);
    try {
        stack.WaitForSockets(&tooMany, nullptr, nullptr, 0);
        FAIL();
    } catch (const ENetStackSetSizeExceeded& error) {
        EXPECT_EQ(error.Message(), "Set Size Exceeded.");
    }
    std::vector<TSocketId> full(64, 3);
    EXPECT_NO_THROW(stack.WaitForSockets(&full, nullptr, nullptr, 1500));
    EXPECT_EQ(network.state().waits.back(), 1500);
    EXPECT_TRUE(full.empty()) << "nothing became readable";
    std::vector<TSocketId> one {3};
    stack.WaitForSockets(&one, nullptr, nullptr, -2);
    EXPECT_EQ(network.state().waits.back(), -1) << "no limit";
}

TEST(WaitForSocketsTest, RealWaitPollsAndTimesOutOnAQuietSocket)
{
    TSocketStackPosix stack;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::vector<TSocketId> quiet {fds[0]};
    EXPECT_EQ(stack.WaitForSockets(&quiet, nullptr, nullptr, 0), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    std::vector<TSocketId> ready {fds[0]};
    EXPECT_EQ(stack.WaitForSockets(&ready, nullptr, nullptr, 50), 1);
    EXPECT_EQ(ready, std::vector<TSocketId> {fds[0]});
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(SocketHandleTest, OpensAndClosesCleanly)
{
    ScriptedNetwork network;
    TIcmpClient keepsTheStack;
    TSocketHandle handle;
    EXPECT_THROW(handle.WaitReadable(0), ENetConnClosedGracefully);
    handle.Close(); // closing a closed handle does nothing
    handle.Open(3, 1);
    const TSocketId first = handle.SocketId();
    handle.Close();
    handle.Open(3, 1);
    EXPECT_NE(handle.SocketId(), first);
    EXPECT_EQ(network.state().open.size(), 1u);
}

TEST(SharedStackTest, LivesFromTheFirstComponentToTheLast)
{
    ScriptedNetwork network;
    EXPECT_EQ(SharedStack(), nullptr);
    auto fourth = std::make_unique<TIcmpClient>();
    TSocketStack* stack = SharedStack();
    ASSERT_NE(stack, nullptr);
    for (int i = 0; i < 3; ++i) {
        TIcmpClient passing;
        EXPECT_EQ(SharedStack(), stack);
    }
    EXPECT_EQ(SharedStack(), stack);
    EXPECT_EQ(StackUsers(), 1);
    fourth.reset();
    EXPECT_EQ(SharedStack(), nullptr);
    EXPECT_EQ(StackUsers(), 0);
}

TEST(SharedStackTest, AFailedStackLeavesTheCountAsItWas)
{
    int attempts = 0;
    SetStackFactoryForTesting([&]() -> std::unique_ptr<TSocketStack> {
        if (++attempts == 1)
            throw ENetStackInitializationFailed();
        return std::make_unique<TSocketStackPosix>();
    });
    EXPECT_THROW(TIcmpClient(), ENetStackInitializationFailed);
    EXPECT_EQ(StackUsers(), 0);
    {
        TIcmpClient second;
        EXPECT_NE(SharedStack(), nullptr);
    }
    SetStackFactoryForTesting(nullptr);
    EXPECT_EQ(attempts, 2);
}

} // namespace
