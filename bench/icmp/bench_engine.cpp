// The echo engine with hundreds and thousands of hosts at once, against fping on the same hosts in the same
// run: loopback addresses of a namespace of our own, every tenth one silenced by an nft rule. Prints
// `name value` lines per host count N: the seconds until every host answered or timed out, that time over one
// time-out, and the CPU time per host. Needs root in scripts/run-isolated.
#include "icmp/echo_engine.h"
#include "icmp/poll_event_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int TimeoutMs = 1000;

std::string hostAt(int i)
{
    return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

bool silent(int i)
{
    return i % 10 == 9;
}

double cpuSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Figures
{
    double seconds = 1e9;
    double cpuPerHostUs = 1e9;
    int answered = 0;
};

Figures engineRound(int hosts)
{
    TPollEventLoop loop;
    TEchoEngine engine(loop);
    Figures f;
    const double wall = wallSeconds();
    const double cpu = cpuSeconds();
    for (int i = 0; i < hosts; ++i)
        engine.Send({TSocketStack::TextToIpAddress(hostAt(i)), 3489, TimeoutMs, {}}, [&f](const TEchoOutcome& outcome) {
            f.answered += !outcome.Error && outcome.Status.Outcome == roEchoReply;
        });
    loop.RunUntil([&] { return engine.Pending() == 0; });
    f.seconds = wallSeconds() - wall;
    f.cpuPerHostUs = (cpuSeconds() - cpu) * 1e6 / hosts;
    return f;
}

// fping -c1 -t1000 -i1 on the same hosts; its CPU time from the kernel's account of the child.
Figures fpingRound(int hosts)
{
    std::vector<std::string> args {"fping", "-q", "-c1", "-t" + std::to_string(TimeoutMs), "-i1"};
    for (int i = 0; i < hosts; ++i)
        args.push_back(hostAt(i));
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Figures f;
    const double wall = wallSeconds();
    const pid_t child = ::fork();
    if (child == 0) {
        const int nowhere = ::open("/dev/null", O_WRONLY);
        ::dup2(nowhere, 1);
        ::dup2(nowhere, 2);
        ::execvp("fping", argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return f;
    f.seconds = wallSeconds() - wall;
    f.cpuPerHostUs = (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + double(usage.ru_utime.tv_usec)
                      + double(usage.ru_stime.tv_usec))
        / hosts;
    return f;
}

bool silence(int hosts)
{
    std::string elements;
    for (int i = 0; i < hosts; ++i)
        if (silent(i))
            elements += (elements.empty() ? "" : ", ") + hostAt(i);
    const std::string rules
        = "nft add table inet cvbench && nft add chain inet cvbench input '{ type filter hook input "
          "priority 0; }' && nft add rule inet cvbench input ip daddr '{ "
        + elements + " }' icmp type echo-request drop";
    return std::system(rules.c_str()) == 0;
}

} // namespace

int main()
{
    const int rounds
        = std::getenv("CORVANE_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("CORVANE_BENCH_ROUNDS"))) : 3;
    if (::geteuid() != 0 || !std::getenv("CORVANE_ISOLATED")) {
        std::fprintf(stderr, "bench_engine: needs root inside scripts/run-isolated\n");
        return 1;
    }
    std::system("nft delete table inet cvbench 2>/dev/null");
    if (!silence(2000)) {
        std::fprintf(stderr, "bench_engine: cannot set up the nft rule that silences every tenth host\n");
        return 1;
    }
    int status = 0;
    for (const int hosts : {100, 500, 2000}) {
        Figures ours, fping;
        // Turns, each keeping its best: a burst of other work on the machine does not land on one only.
        for (int round = 0; round < rounds; ++round) {
            const Figures e = engineRound(hosts);
            const Figures p = fpingRound(hosts);
            ours = {std::min(ours.seconds, e.seconds), std::min(ours.cpuPerHostUs, e.cpuPerHostUs), e.answered};
            fping = {std::min(fping.seconds, p.seconds), std::min(fping.cpuPerHostUs, p.cpuPerHostUs), 0};
        }
        const int expected = hosts - hosts / 10;
        std::printf("hosts_%d_s %.3f\n", hosts, ours.seconds);
        std::printf("hosts_%d_ratio_to_timeout %.2f\n", hosts, ours.seconds * 1000 / TimeoutMs);
        std::printf("hosts_%d_cpu_per_host_us %.1f\n", hosts, ours.cpuPerHostUs);
        std::printf("hosts_%d_answered %d\n", hosts, ours.answered);
        if (fping.seconds < 1e9) {
            std::printf("fping_%d_s %.3f\n", hosts, fping.seconds);
            std::printf("fping_%d_cpu_per_host_us %.1f\n", hosts, fping.cpuPerHostUs);
        } else {
            std::fprintf(stderr, "bench_engine: fping failed or is not installed\n");
            status = 1;
        }
        if (ours.answered != expected) {
            std::fprintf(stderr, "bench_engine: %d of %d hosts answered, %d should have\n", ours.answered, hosts,
                         expected);
            status = 1;
        }
    }
    std::system("nft delete table inet cvbench");
    return status;
}
