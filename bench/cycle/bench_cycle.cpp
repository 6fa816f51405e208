// One monitoring cycle over 500 loopback resources with the gadget on an offscreen screen.
// Prints `name value` lines: the cycle's cost per resource against one echo of corvane-ping, and the
// longest stretch in which the event loop dispatched nothing. Needs root (raw sockets).
#include "app/form1.h"
#include "app/window_set.h"
#include "platform/program_folder.h"
#include "tests/support/run_round.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

constexpr int Resources = 500;
constexpr int Echoes = 5000;
const int Rounds = std::getenv("CORVANE_BENCH_ROUNDS") ? std::atoi(std::getenv("CORVANE_BENCH_ROUNDS")) : 3;

double echoMicroseconds()
{
    const auto start = std::chrono::steady_clock::now();
    const std::string command = std::string(CORVANE_PING) + " -c " + std::to_string(Echoes) + " -i 0 -q 127.0.0.1";
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        return -1;
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / Echoes;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::SetRecording(true);
    // A benchmark never asks the maker's host for updates.
    ::setenv("CORVANE_UPDATE_HOST", "", 1);

    const auto folder = std::filesystem::temp_directory_path() / "corvane-bench-cycle";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "list");
    for (int i = 0; i < Resources; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "host%03d.cvr", i);
        std::ofstream(folder / "list" / name, std::ios::binary)
            << "127.0." << (i / 250) << "." << (i % 250 + 1) << "\r\n1\r\n";
    }
    SetProgramFolderForTesting(folder.string());

    const double echo = echoMicroseconds();
    if (echo < 0) {
        std::fprintf(stderr, "bench_cycle: corvane-ping failed (raw sockets need root)\n");
        return 1;
    }

    TWindowSet windows;
    windows.Create();
    windows.ShowMainWindow();
    app.processEvents();

    // A zero-time timer fires whenever the loop dispatches; the widest gap between firings is how long
    // the user waited at worst.
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });

    double best = 1e18;
    for (int round = 0; round < Rounds; ++round) {
        clock.start();
        last = 0;
        probe.start();
        const auto start = std::chrono::steady_clock::now();
        RunRound();
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        probe.stop();
        best = std::min(best, us);
    }
    if (!MessageBox::Recorded().empty()) {
        std::fprintf(stderr, "bench_cycle: %s\n", qPrintable(MessageBox::Recorded().front().text));
        return 1;
    }
    const double perResource = best / Resources;
    std::printf("cycle_us_per_resource %.1f\n", perResource);
    std::printf("echo_us %.2f\n", echo);
    std::printf("ratio_vs_echo %.2f\n", perResource / echo);
    std::printf("longest_undispatched_ms %.2f\n", longest / 1e6);
    std::filesystem::remove_all(folder);
    return 0;
}
