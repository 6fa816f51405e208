// The transfer driver against a scripted server on a loopback port: its bounds count the network's time and
// not the pump's, and each way a transfer can end is told apart.
#include "tests/support/scripted_http_server.h"
#include "update/curl_driver.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Result = TCurlDriver::TResult;

size_t countBody(char*, size_t size, size_t count, void* total)
{
    *static_cast<size_t*>(total) += size * count;
    return size * count;
}

TEST(CurlDriverTest, BoundsCountTheNetworksTimeNotThePumpsAndEachEndIsToldApart)
{
    ScriptedHttpServer server("127.0.0.1", 0);
    ASSERT_TRUE(server.Ready()) << server.Error();
    const std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
    size_t received = 0;
    const auto get = [&](const std::string& path, int port) {
        curl_easy_reset(easy.get());
        received = 0;
        curl_easy_setopt(easy.get(), CURLOPT_URL, ("http://127.0.0.1:" + std::to_string(port) + path).c_str());
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, countBody);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &received);
        return easy.get();
    };

    // The answer comes while the pump runs a long nested command, once the request is out: it still counts.
    ScriptedHttpServer::Reply late = ScriptedHttpServer::Page("late but whole");
    late.delayBeforeMs = 300;
    server.Set("/late", late);
    bool nested = false;
    const auto pump = [&] {
        if (nested || server.Requests().empty())
            return;
        nested = true;
        std::this_thread::sleep_for(600ms);
    };
    {
        TCurlDriver driver(get("/late", server.Port()), {.connectMs = 200, .totalMs = 200}, pump, nullptr);
        EXPECT_EQ(driver.Run(), Result::Done) << driver.ErrorText();
        EXPECT_EQ(received, 14u);
        EXPECT_LT(driver.NetworkTime(), 200ms);
    }

    // A body that pauses longer than the stall bound times out; the abort predicate ends it at a wait.
    ScriptedHttpServer::Reply halting = ScriptedHttpServer::Page("first second");
    halting.chunks = {"first ", "second"};
    halting.chunkDelayMs = 500;
    server.Set("/halting", halting);
    {
        TCurlDriver driver(get("/halting", server.Port()), {.stallMs = 150}, nullptr, nullptr);
        EXPECT_EQ(driver.Run(), Result::TimedOut);
        EXPECT_EQ(received, 6u);
    }
    {
        TCurlDriver driver(get("/halting", server.Port()), {}, nullptr, [] { return true; });
        EXPECT_EQ(driver.Run(), Result::Aborted);
    }

    // A refused connection fails with curl's own words for it.
    int closed = 0;
    {
        const ScriptedHttpServer gone("127.0.0.1", 0);
        closed = gone.Port();
    }
    TCurlDriver driver(get("/", closed), {.connectMs = 2000}, nullptr, nullptr);
    EXPECT_EQ(driver.Run(), Result::Failed);
    EXPECT_EQ(driver.Code(), CURLE_COULDNT_CONNECT);
    EXPECT_NE(driver.ErrorText().find(std::to_string(closed)), std::string::npos) << driver.ErrorText();
}

} // namespace
