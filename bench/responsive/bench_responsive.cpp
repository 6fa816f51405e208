// How long the gadget goes without handling an event while a cycle waits for silent hosts, for a resolver
// that never answers, and for silent hosts amid other programs' ICMP, against the same event loop with
// nothing to do. A timer posts an event every 5 ms; the longest gap between two handled ones is the worst
// the user waited.
// Prints `name value` lines. Runs itself inside scripts/run-isolated: it needs root in namespaces of its own.
#include "app/form1.h"
#include "app/wave_player.h"
#include "app/window_set.h"
#include "bench/support/stall_meter.h"
#include "platform/program_folder.h"
#include "tests/support/fake_host.h"
#include "tests/support/run_round.h"
#include "tests/support/silent_resolver.h"
#include "ui/image_list_box.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ForeignPerSecond = 1000;

class QuietPlayer final : public ISoundPlayer
{
public:
    void PlayFile(const std::string&) override { ++plays; }
    int plays = 0;
};

void writeResources(const std::filesystem::path& folder, const std::vector<std::string>& targets)
{
    std::filesystem::remove_all(folder / "list");
    std::filesystem::create_directories(folder / "list");
    for (size_t i = 0; i < targets.size(); ++i)
        std::ofstream(folder / "list" / ("host" + std::to_string(i) + ".cvr"), std::ios::binary)
            << targets[i] << "\r\n2\r\n";
}

bool allFailed()
{
    const TImageItems& items = Form1->listaproc->Items();
    for (int i = 0; i < items.Count(); ++i)
        if (items[i].ImageIndex() != 2)
            return false;
    return items.Count() > 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("CORVANE_ISOLATED")) {
        execl(CORVANE_RUN_ISOLATED, CORVANE_RUN_ISOLATED, argv[0], static_cast<char*>(nullptr));
        std::perror("bench_responsive: run-isolated");
        return 1;
    }
    if (::geteuid() != 0) {
        std::fprintf(stderr, "bench_responsive: needs root (a tun device and namespaces of its own)\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::SetRecording(true);
    auto player = std::make_shared<QuietPlayer>();
    TWavePlayer::SetPlayerForTesting(player);

    FakeHost hosts; // every address of 10.77.0.0/24 without a behaviour stays silent
    if (!hosts.Ready()) {
        std::fprintf(stderr, "bench_responsive: %s\n", hosts.Error().c_str());
        return 1;
    }
    const auto folder = std::filesystem::temp_directory_path() / "corvane-bench-responsive";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    // No tick of its own during the measurements.
    std::ofstream(folder / "corvane.ini", std::ios::binary) << "[Check]\r\nTimeCheck=100000\r\n";
    writeResources(folder, {"10.77.0.31", "10.77.0.32", "10.77.0.33", "10.77.0.34"});
    SetProgramFolderForTesting(folder.string() + "/");

    TWindowSet windows;
    windows.Create();
    windows.ShowMainWindow();
    app.processEvents();

    StallMeter meter;
    const double idle = meter.Measure([] {
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
    });
    const double silent = meter.Measure([] { RunRound(); });
    const bool silentFailed = allFailed();

    double slow = -1;
    bool slowFailed = false;
    {
        SilentResolver resolver(1);
        if (resolver.Ready()) {
            writeResources(folder, {"10.77.0.31", SilentResolver::SlowName, "10.77.0.33", SilentResolver::SlowName});
            slow = meter.Measure([] { RunRound(); });
            slowFailed = allFailed();
        } else {
            std::fprintf(stderr, "bench_responsive: %s\n", resolver.Error().c_str());
        }
    }

    // Another program's pings and the like reach a raw socket every millisecond, so that no slice of the
    // wait is ever quiet.
    writeResources(folder, {"10.77.0.31", "10.77.0.32", "10.77.0.33", "10.77.0.34"});
    hosts.Spray({"10.77.0.40", "10.77.0.41", "127.0.0.1"}, ForeignPerSecond);
    const double foreign = meter.Measure([] { RunRound(); });
    hosts.Spray({}, 0);
    const bool foreignFailed = allFailed();

    if (!MessageBox::Recorded().empty() || !silentFailed || (slow >= 0 && !slowFailed) || !foreignFailed) {
        std::fprintf(stderr, "bench_responsive: the cycles did not end as expected\n");
        return 1;
    }
    std::printf("idle_max_stall_ms %.2f\n", idle);
    std::printf("max_stall_ms %.2f\n", silent);
    std::printf("ratio_vs_idle %.2f\n", silent / idle);
    if (slow >= 0) {
        std::printf("max_stall_ms_slow_resolver %.2f\n", slow);
        std::printf("ratio_vs_idle_slow_resolver %.2f\n", slow / idle);
    }
    std::printf("max_stall_ms_foreign_icmp %.2f\n", foreign);
    std::printf("ratio_vs_idle_foreign_icmp %.2f\n", foreign / idle);
    std::filesystem::remove_all(folder);
    return 0;
}
