// Rounds over many hosts with the gadget on an offscreen screen: 100, 500 and 2000 loopback hosts of a
// namespace of its own, a tenth of them silent (their echo requests dropped by nftables), one request each,
// pinged one after another and all at once. Prints `name value` lines per size and mode: the round's
// length, its ratio to one time-out, the longest stretch the event loop went without handling an event,
// and the process's CPU time per host; beside them fping's time for the same hosts in the same run, the
// baseline a parallel round is held to. Then a round over 20 000 resources (all answering), for the
// bookkeeping: its stall and the memory it takes. Needs root in scripts/run-isolated (scripts/bench).
#include "app/form1.h"
#include "app/window_set.h"
#include "bench/support/stall_meter.h"
#include "platform/program_folder.h"
#include "tests/support/run_round.h"
#include "ui/image_list_box.h"
#include "ui/message_box.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int TimeOutMs = 1000;

std::string address(int i)
{
    // 127.1.0.0/16 is loopback too; the kernel answers every address of it.
    return "127.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
}

bool silent(int i)
{
    return i % 10 == 9;
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void writeList(const std::filesystem::path& folder, int count, bool withSilent)
{
    std::filesystem::remove_all(folder / "list");
    std::filesystem::create_directories(folder / "list");
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "host%05d.cvr", i);
        std::ofstream(folder / "list" / name, std::ios::binary)
            << (withSilent ? address(i) : "127.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1))
            << "\r\n1\r\n";
    }
}

void setMode(const std::filesystem::path& folder, bool parallel)
{
    std::ofstream(folder / "corvane.ini", std::ios::binary)
        << "[Check]\r\nTimeCheck=0\r\nParallel=" << (parallel ? 1 : 0) << "\r\n[History]\r\nKeep=0\r\n";
}

double fpingSeconds(const std::filesystem::path& folder, int count)
{
    std::ofstream targets(folder / "targets");
    for (int i = 0; i < count; ++i)
        targets << address(i) << "\n";
    targets.close();
    const auto start = std::chrono::steady_clock::now();
    const std::string command = "fping -c1 -t" + std::to_string(TimeOutMs) + " -i1 -q -f "
        + (folder / "targets").string() + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    // fping exits 1 when some hosts did not answer, which a tenth of them never do.
    if (status == -1 || WEXITSTATUS(status) > 1)
        return -1;
    return seconds(start);
}

int wrongRows(int count)
{
    int wrong = 0;
    for (int i = 0; i < count; ++i)
        wrong += Form1->listaproc->Items()[i].ImageIndex() != (silent(i) ? 2 : 1);
    return wrong;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::SetRecording(true);
    ::setenv("CORVANE_UPDATE_HOST", "", 1);
    const bool withSequential2000 = std::getenv("CORVANE_BENCH_SEQUENTIAL_2000") != nullptr;

    const auto folder = std::filesystem::temp_directory_path() / "corvane-bench-rounds";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    SetProgramFolderForTesting(folder.string() + "/");

    // A tenth of the hosts drop what is sent to them.
    {
        std::ofstream rules(folder / "rules.nft");
        rules << "table ip corvane_bench {\n chain input {\n  type filter hook input priority 0;\n";
        rules << "  ip protocol icmp icmp type echo-request ip daddr { ";
        for (int i = 9, first = 1; i < 2000; i += 10, first = 0)
            rules << (first ? "" : ", ") << address(i);
        rules << " } drop\n }\n}\n";
    }
    if (std::system(("nft -f " + (folder / "rules.nft").string()).c_str()) != 0) {
        std::fprintf(stderr, "bench_rounds: nft failed (run it through scripts/run-isolated as root)\n");
        return 1;
    }

    setMode(folder, false);
    writeList(folder, 0, true);
    TWindowSet windows;
    windows.Create();
    windows.ShowMainWindow();
    app.processEvents();

    StallMeter meter;
    bool failed = false;
    for (const int count : {100, 500, 2000}) {
        writeList(folder, count, true);
        const double fping = fpingSeconds(folder, count);
        for (const bool parallel : {false, true}) {
            if (!parallel && count == 2000 && !withSequential2000)
                continue; // three and a half minutes; CORVANE_BENCH_SEQUENTIAL_2000=1 measures it
            setMode(folder, parallel);
            const double cpuBefore = cpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            bool ended = false;
            const double stall = meter.Measure([&] { ended = RunRound(600000); });
            const double length = seconds(start);
            const double cpu = cpuSeconds() - cpuBefore;
            const int wrong = wrongRows(count);
            if (!ended || wrong != 0) {
                std::fprintf(stderr, "bench_rounds: %d hosts %s: %s, %d rows wrong\n", count,
                             parallel ? "parallel" : "sequential", ended ? "ended" : "did not end", wrong);
                failed = true;
            }
            const std::string name = std::string(parallel ? "parallel_" : "sequential_") + std::to_string(count);
            std::printf("%s_round_s %.3f\n", name.c_str(), length);
            std::printf("%s_ratio_vs_timeout %.2f\n", name.c_str(), length * 1000 / TimeOutMs);
            std::printf("%s_max_stall_ms %.1f\n", name.c_str(), stall);
            std::printf("%s_cpu_us_per_host %.1f\n", name.c_str(), cpu * 1e6 / count);
            if (parallel && fping > 0) {
                std::printf("fping_%d_s %.3f\n", count, fping);
                std::printf("%s_ratio_vs_fping %.2f\n", name.c_str(), length / fping);
            }
            std::fflush(stdout);
        }
    }

    // The bookkeeping of a large list: every resource answers, so the figures are the program's own.
    constexpr int Large = 20000;
    writeList(folder, Large, false);
    setMode(folder, true);
    const long before = residentKiB();
    bool ended = false;
    const auto start = std::chrono::steady_clock::now();
    const double stall = meter.Measure([&] { ended = RunRound(600000); });
    if (!ended) {
        std::fprintf(stderr, "bench_rounds: the round over %d resources did not end\n", Large);
        failed = true;
    }
    std::printf("parallel_%d_round_s %.3f\n", Large, seconds(start));
    std::printf("parallel_%d_max_stall_ms %.1f\n", Large, stall);
    std::printf("parallel_%d_rss_growth_mb %.1f\n", Large, (residentKiB() - before) / 1024.0);
    std::printf("rss_mb %.1f\n", residentKiB() / 1024.0);

    std::system("nft delete table ip corvane_bench >/dev/null 2>&1");
    std::filesystem::remove_all(folder);
    return failed ? 1 : 0;
}
