// The update check inside start-up: start-up waits for it, keeps dispatching meanwhile, and a close of the
// gadget stops it instead of sitting it out.
#include "app/form1.h"
#include "app/form_checkupdate_interno.h"
#include "tests/app/app_fixture.h"
#include "tests/support/scripted_http_server.h"
#include "ui/tray_popup.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdlib>
#include <unistd.h>

namespace {

class StartupUpdateTest : public AppWindowsTest
{
protected:
    void SetUp() override
    {
        if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0)
            GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)";
        AppWindowsTest::SetUp();
        if (!server.Ready())
            GTEST_SKIP() << server.Error();
        ::setenv("CORVANE_UPDATE_HOST", "127.0.0.1", 1);
    }
    void TearDown() override
    {
        ::setenv("CORVANE_UPDATE_HOST", "", 1);
        AppWindowsTest::TearDown();
    }
    ScriptedHttpServer server;
};

TEST_F(StartupUpdateTest, StartUpWaitsForTheCheckAndACloseStopsIt)
{
    ScriptedHttpServer::Reply slow = ScriptedHttpServer::Page(
        ScriptedHttpServer::InfoPage({{"wuProduct", "Corvane"}, {"wuVersion", "0.6.34.60"}}));
    slow.delayBeforeMs = 600;
    server.Set("/downloads/vanta/updates/corvane.html", slow);
    QElapsedTimer clock;
    clock.start();
    bool dispatched = false;
    QTimer::singleShot(100, [&] { dispatched = true; });
    startProgram();
    EXPECT_GE(clock.elapsed(), 600);
    EXPECT_TRUE(dispatched) << "events are dispatched while start-up waits";
    EXPECT_EQ(form_checkupdate_interno->traypopup->PopupCount(), 1);
    windows.reset();

    ScriptedHttpServer::Reply silent;
    silent.silent = true;
    server.Set("/downloads/vanta/updates/corvane.html", silent);
    clock.restart();
    QTimer::singleShot(300, [] { Form1->close(); });
    startProgram();
    EXPECT_LT(clock.elapsed(), 2000) << "not the whole 10 s bound";
    EXPECT_EQ(form_checkupdate_interno->traypopup->PopupCount(), 0);
}

} // namespace
