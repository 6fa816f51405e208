// TCP connects on loopback, run by the gadget's event loop.
#include "app/qt_event_loop.h"
#include "icmp/socket_stack.h"
#include "probes/tcp_probe.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A listening socket on a free port of `address`, or of none when it cannot be made.
struct Listener
{
    explicit Listener(const TIpAddress& address)
    {
        const bool v4 = address.Family == TIpFamily::IPv4;
        fd = ::socket(v4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage storage {};
        socklen_t length = 0;
        if (v4) {
            auto* in = reinterpret_cast<sockaddr_in*>(&storage);
            in->sin_family = AF_INET;
            std::memcpy(&in->sin_addr, address.Bytes.data(), 4);
            length = sizeof *in;
        } else {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            std::memcpy(&in6->sin6_addr, address.Bytes.data(), 16);
            length = sizeof *in6;
        }
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 8) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
            return;
        port = ntohs(v4 ? reinterpret_cast<sockaddr_in*>(&storage)->sin_port
                        : reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    }
    ~Listener()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    uint16_t port = 0;
};

TConnectOutcome connect(TTcpProbe& probe, const TIpAddress& address, uint16_t port)
{
    std::optional<TConnectOutcome> outcome;
    probe.Connect(address, port, 1000, [&](const TConnectOutcome& o) { outcome = o; });
    EXPECT_FALSE(outcome) << "answered from the loop, never from inside Connect";
    QElapsedTimer clock;
    clock.start();
    while (!outcome && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return outcome.value_or(TConnectOutcome {});
}

TEST(TcpProbeTest, AListeningPortAnswersAndAClosedOneRefusesOnBothFamilies)
{
    TQtEventLoop loop;
    TTcpProbe probe(loop);
    const TIpAddress v4 = TIpAddress::FromIpv4({127, 0, 0, 1});
    static constexpr uint8_t loopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const TIpAddress v6 = TIpAddress::FromIpv6(loopback6);
    for (const TIpAddress& address : {v4, v6}) {
        uint16_t closed = 0;
        {
            Listener open(address);
            if (open.port == 0) {
                ADD_FAILURE() << "no listener on " << TSocketStack::IpAddressToText(address);
                continue;
            }
            const TConnectOutcome answered = connect(probe, address, open.port);
            EXPECT_EQ(answered.Kind, TConnectOutcome::TKind::Connected);
            EXPECT_GT(answered.RoundTripUs, 0u);
            EXPECT_LT(answered.RoundTripUs, 500'000u);
            closed = open.port;
        }
        const TConnectOutcome refused = connect(probe, address, closed);
        EXPECT_EQ(refused.Kind, TConnectOutcome::TKind::Refused);
        EXPECT_EQ(refused.ErrorNumber, 10061);
    }

    // A connect cancelled, or still under way when the probe goes, is never answered.
    bool called = false;
    Listener open(v4);
    const auto ticket = probe.Connect(v4, open.port, 1000, [&](const TConnectOutcome&) { called = true; });
    probe.Cancel(ticket);
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}

} // namespace
