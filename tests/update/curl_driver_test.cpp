// The transfer driver against a scripted server on a loopback port: its bounds count the network's time and
// not the pump's, and each way a transfer can end is told apart.
#include "tests/support/scripted_http_server.h"
#include "update/curl_driver.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Result = TCurlDriver::TResult;
using Reply = ScriptedHttpServer::Reply;

class CurlDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.Ready())
            GTEST_SKIP() << server.Error();
    }

    void TearDown() override
    {
        if (easy)
            curl_easy_cleanup(easy);
    }

    // A GET of `path` whose body is counted, ready to be driven.
    CURL* request(const std::string& path)
    {
        if (easy)
            curl_easy_cleanup(easy);
        received = 0;
        easy = curl_easy_init();
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + path;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
        curl_easy_setopt(
            easy, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void* total) {
                *static_cast<size_t*>(total) += size * count;
                return size * count;
            });
        return easy;
    }

    ScriptedHttpServer server {"127.0.0.1", 0};
    CURL* easy = nullptr;
    size_t received = 0;
};

TEST_F(CurlDriverTest, TimeInsideThePumpIsNotCountedAgainstTheBounds)
{
    // The answer comes while the pump runs a long nested command, once the request is out: the transfer still
    // completes.
    Reply late = ScriptedHttpServer::Page("late but whole");
    late.delayBeforeMs = 300;
    server.Set("/late", late);
    bool nested = false;
    {
        TCurlDriver driver(
            request("/late"), {.connectMs = 200, .totalMs = 200},
            [&] {
                if (nested || server.Requests().empty())
                    return;
                nested = true;
                std::this_thread::sleep_for(600ms);
            },
            nullptr);
        EXPECT_EQ(driver.Run(), Result::Done) << driver.ErrorText();
        EXPECT_EQ(received, 14u);
        EXPECT_LT(driver.NetworkTime(), 200ms);
    }

    // A server that never answers runs into the bound after that much network time, however slow the pump.
    Reply silent;
    silent.silent = true;
    server.Set("/silent", silent);
    int pumped = 0;
    TCurlDriver driver(
        request("/silent"), {.totalMs = 300},
        [&] {
            ++pumped;
            std::this_thread::sleep_for(5ms);
        },
        nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(driver.Run(), Result::TimedOut);
    EXPECT_EQ(driver.Code(), CURLE_OPERATION_TIMEDOUT);
    EXPECT_GE(driver.NetworkTime(), 300ms);
    EXPECT_LT(driver.NetworkTime(), 600ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, driver.NetworkTime() + pumped * 5ms);
}

TEST_F(CurlDriverTest, StallsAbortsAndFailuresEndTheTransferEachInItsOwnWay)
{
    // A body that pauses longer than the stall bound times out; without that bound it completes.
    Reply halting = ScriptedHttpServer::Page("first second");
    halting.chunks = {"first ", "second"};
    halting.chunkDelayMs = 500;
    server.Set("/halting", halting);
    {
        TCurlDriver driver(request("/halting"), {.stallMs = 150}, nullptr, nullptr);
        EXPECT_EQ(driver.Run(), Result::TimedOut);
        EXPECT_EQ(received, 6u);
    }
    {
        TCurlDriver driver(request("/halting"), {.connectMs = 150, .totalMs = 5000}, nullptr, nullptr);
        EXPECT_EQ(driver.Run(), Result::Done);
        EXPECT_EQ(received, 12u);
    }

    // The abort predicate ends it at the next wait.
    int asked = 0;
    {
        TCurlDriver driver(request("/halting"), {}, nullptr, [&] { return ++asked == 3; });
        EXPECT_EQ(driver.Run(), Result::Aborted);
        EXPECT_EQ(asked, 3);
    }

    // A refused connection fails with curl's own words for it.
    int port = 0;
    {
        const ScriptedHttpServer gone("127.0.0.1", 0);
        port = gone.Port();
    }
    curl_easy_setopt(request("/"), CURLOPT_PORT, static_cast<long>(port));
    TCurlDriver driver(easy, {.connectMs = 2000}, nullptr, nullptr);
    EXPECT_EQ(driver.Run(), Result::Failed);
    EXPECT_EQ(driver.Code(), CURLE_COULDNT_CONNECT);
    EXPECT_NE(driver.ErrorText().find(std::to_string(port)), std::string::npos) << driver.ErrorText();
}

} // namespace
