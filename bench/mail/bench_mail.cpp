// How long the event loop goes without handling an event while an alert mail waits for a server that takes
// the connection and never answers, and how long the mail takes to give up, against the same loop with
// nothing to do. A timer posts an event every 5 ms; the longest gap between two handled ones is the worst
// the user waited. Prints `name value` lines. Runs itself inside scripts/run-isolated, on loopback only.
#include "app/smtp_transport.h"
#include "bench/support/stall_meter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Takes connections into its backlog and never says a word; returns its port.
int silentServer()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("CORVANE_ISOLATED")) {
        execl(CORVANE_RUN_ISOLATED, CORVANE_RUN_ISOLATED, argv[0], static_cast<char*>(nullptr));
        std::perror("bench_mail: run-isolated");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const int port = silentServer();
    if (port < 0) {
        std::perror("bench_mail: listening socket");
        return 1;
    }
    StallMeter meter;
    // As long as the mail will take: the longest gap grows with the time watched on a busy machine.
    const double idle = meter.Measure([] {
        QEventLoop loop;
        QTimer::singleShot(TSmtpTransport::TimeLimitMs, &loop, &QEventLoop::quit);
        loop.exec();
    });
    TSmtpTransport transport([] { QCoreApplication::processEvents(); }, [] { return false; });
    TSmtpRequest request {
        "127.0.0.1", port, "", "", "anna@example.org", {"anna@example.org"}, "Subject: x\r\n\r\nx\r\n"};
    TMailOutcome outcome;
    QElapsedTimer clock;
    clock.start();
    const double silent = meter.Measure([&] { outcome = transport.Send(request); });
    const qint64 gaveUp = clock.elapsed();
    if (outcome.Result != TMailOutcome::TResult::Failed) {
        std::fprintf(stderr, "bench_mail: the mail to a silent server did not fail\n");
        return 1;
    }
    std::printf("idle_max_stall_ms %.2f\n", idle);
    std::printf("silent_server_max_stall_ms %.2f\n", silent);
    std::printf("silent_server_gave_up_ms %lld\n", static_cast<long long>(gaveUp));
    return 0;
}
