// The update component and the update form against a scripted HTTP server in the test's own network
// namespace: the request on the wire, the events and their order, the transfer's rules and its bounds.
#include "app/form_checkupdate_interno.h"
#include "platform/program_folder.h"
#include "platform/shell_open.h"
#include "tests/support/machine_stall.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temp_folder.h"
#include "ui/message_box.h"
#include "ui/taskbar_geometry.h"
#include "ui/tray_popup.h"
#include "update/web_update.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

namespace {

using Reply = ScriptedHttpServer::Reply;

#define REQUIRE_ISOLATION()                                                                                            \
    if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0)                                                          \
    GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)"

const std::string PagePath = "/downloads/vanta/updates/corvane.html";
const std::string PageUrl = "http://127.0.0.1" + PagePath;

std::string infoPage(const std::string& version)
{
    return ScriptedHttpServer::InfoPage({{"wuProduct", "Corvane"},
                                         {"wuVersion", version},
                                         {"wuClientSideName", "corvane-setup.run"},
                                         {"wuDownload", "127.0.0.1/files/corvane-setup.run"}});
}

class ShellRecorder final : public IShellOpener
{
public:
    void Open(const std::string& target) override { opened.push_back(target); }
    bool Launch(const std::string& file, const std::string& parameters) override
    {
        opened.push_back(file + " " + parameters);
        return false;
    }
    std::vector<std::string> opened;
};

// A component whose every event is written down in order.
struct Recorder
{
    explicit Recorder(TWebUpdate& update)
    {
        update.OnBeforeGetInfo = [this](TWebUpdate&) { events.push_back("BeforeGetInfo"); };
        update.OnAfterGetInfo = [this](TWebUpdate&) { events.push_back("AfterGetInfo"); };
        update.OnNoUpdateFound = [this](TWebUpdate&) { events.push_back("NoUpdateFound"); };
        update.OnUpdateAvailable = [this](TWebUpdate&, const std::string& a, const std::string& n, bool& can) {
            events.push_back("UpdateAvailable " + a + " " + n);
            can = canUpdate;
        };
        update.OnBeforeShowInfo = [this](TWebUpdate&, bool& show, bool&) {
            events.push_back("BeforeShowInfo");
            show = false;
        };
        update.OnDownload = [this](TWebUpdate&, int32_t total, int32_t downloaded) {
            if (events.empty() || events.back() != "Download")
                events.push_back("Download");
            progress.emplace_back(total, downloaded);
            if (onDownload)
                onDownload();
        };
        update.OnDownloadError = [this](TWebUpdate&) { events.push_back("DownloadError"); };
        update.OnBeforeDownload = [this](TWebUpdate&, const std::string&) { events.push_back("BeforeDownload"); };
        update.OnAfterDownload = [this](TWebUpdate&, const std::string&) { events.push_back("AfterDownload"); };
    }
    std::vector<std::string> events;
    std::vector<std::pair<int32_t, int32_t>> progress;
    std::function<void()> onDownload;
    bool canUpdate = false;
};

class WebUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_ISOLATION();
        server = std::make_unique<ScriptedHttpServer>();
        if (!server->Ready())
            GTEST_SKIP() << server->Error();
        update.ProductInfo.Version = "0.6.34.60";
        update.ProductInfo.SetURL(PageUrl);
        update.Options = {};
    }

    bool fetch(const std::string& path, bool toFile = false, bool requireLength = false)
    {
        recorder.events.clear();
        recorder.progress.clear();
        return update.HttpFetch("http://127.0.0.1" + path, "", "", toFile, requireLength, folder.File("out"));
    }

    std::unique_ptr<ScriptedHttpServer> server;
    TWebUpdate update;
    Recorder recorder {update};
    TempFolder folder;
};

TEST_F(WebUpdateTest, TheRequestIsOnePlainGetAskingTheServerItself)
{
    server->Set(PagePath, ScriptedHttpServer::Page(infoPage("1")));
    ASSERT_TRUE(fetch(PagePath));
    ASSERT_TRUE(fetch("/a/../b?x=1&y=%41"));
    ASSERT_TRUE(fetch("/with space#hash"));
    const auto requests = server->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], ScriptedHttpServer::UpdatePageRequest);
    EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")), "GET /a/../b?x=1&y=%41 HTTP/1.0");
    EXPECT_EQ(requests[2].substr(0, requests[2].find("\r\n")), "GET /with%20space%23hash HTTP/1.0");
}

TEST_F(WebUpdateTest, APageWithoutLengthArrivesInPiecesOfAtMost1025Bytes)
{
    const std::string body = std::string(1500, 'a') + "\r\n" + std::string(1496, 'b') + "\nlast\r";
    Reply slow = ScriptedHttpServer::Page(body, false);
    slow.chunks = {body.substr(0, 1000), body.substr(1000, 1000), body.substr(2000)};
    slow.chunkDelayMs = 60;
    server->Set("/slow", slow);
    ASSERT_TRUE(fetch("/slow"));
    ASSERT_GE(recorder.progress.size(), 3u);
    int32_t previous = 0;
    for (const auto& [total, downloaded] : recorder.progress) {
        EXPECT_EQ(total, 0);
        EXPECT_GT(downloaded, previous);
        EXPECT_LE(downloaded - previous, 1025);
        previous = downloaded;
    }
    EXPECT_EQ(previous, static_cast<int32_t>(body.size()));
    EXPECT_EQ(update.PageLines(), (std::vector<std::string> {std::string(1500, 'a'), std::string(1496, 'b'), "last"}));

    // Into a file, a response without a length is not read at all.
    EXPECT_FALSE(fetch("/slow", true, true));
    EXPECT_EQ(recorder.events, std::vector<std::string> {"DownloadError"});
    EXPECT_FALSE(folder.Exists("out"));
}

TEST_F(WebUpdateTest, AFileIsCompleteOnlyWhenItsLengthMatchesTheAnnouncedOne)
{
    const std::string file(3000, 'x');
    server->Set("/file", ScriptedHttpServer::Page(file));
    ASSERT_TRUE(fetch("/file", true, true));
    EXPECT_EQ(folder.Read("out"), file);
    EXPECT_GE(recorder.progress.size(), 3u);
    EXPECT_EQ(recorder.progress.back(), std::make_pair(3000, 3000));

    server->Set("/empty", ScriptedHttpServer::Page(""));
    ASSERT_TRUE(fetch("/empty", true, true));
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(folder.Read("out"), "");

    Reply shortBody = ScriptedHttpServer::Page(std::string(50, 's'));
    shortBody.head = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n";
    server->Set("/short", shortBody);
    EXPECT_FALSE(fetch("/short", true, true));
    EXPECT_EQ(recorder.events, (std::vector<std::string> {"Download", "DownloadError"}));
    EXPECT_EQ(folder.Read("out"), std::string(50, 's')) << "the partial file remains";

    Reply longBody = ScriptedHttpServer::Page(std::string(20, 'l'));
    longBody.head = "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n";
    server->Set("/long", longBody);
    EXPECT_FALSE(fetch("/long", true, true));
    EXPECT_EQ(recorder.events.back(), "DownloadError");

    // A body is whole once the announced length has come, though the server keeps the connection open.
    Reply kept = ScriptedHttpServer::Page(file);
    kept.holdOpen = true;
    server->Set("/kept", kept);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(fetch("/kept", true, true));
    EXPECT_TRUE(fetch("/kept"));
    EXPECT_EQ(update.PageLines(), std::vector<std::string> {file});
    EXPECT_LT(clock.elapsed(), 2000);

    // In memory, a short page is still a page, and an empty one is none.
    EXPECT_TRUE(fetch("/short"));
    EXPECT_FALSE(fetch("/empty"));
    EXPECT_EQ(recorder.events, std::vector<std::string> {"DownloadError"});

    // A file that cannot be created ends the transfer without the error event.
    recorder.events.clear();
    EXPECT_FALSE(update.HttpFetch("http://127.0.0.1/file", "", "", true, true, folder.File("no/such/folder/f")));
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(WebUpdateTest, FailuresAreReportedOnceAndBounded)
{
    Reply huge = ScriptedHttpServer::Page(std::string(4096, 'h'));
    huge.head = "HTTP/1.0 200 OK\r\nContent-Length: 209715200\r\n";
    server->Set("/huge", huge);
    EXPECT_FALSE(fetch("/huge"));
    EXPECT_EQ(recorder.events, std::vector<std::string> {"DownloadError"}) << "refused before reading";
    EXPECT_EQ(update.Total(), 209715200);

    Reply endless = ScriptedHttpServer::Page(std::string(8192, 'e'), false);
    endless.endless = true;
    server->Set("/endless", endless);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(fetch("/endless"));
    EXPECT_EQ(recorder.events.back(), "DownloadError");
    EXPECT_GT(update.Downloaded(), TWebUpdate::MaxPageSize);
    EXPECT_LT(clock.elapsed(), 5000);

    Reply notANumber = ScriptedHttpServer::Page("page");
    notANumber.head = "HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n";
    server->Set("/nan", notANumber);
    EXPECT_FALSE(fetch("/nan"));
    EXPECT_TRUE(recorder.events.empty()) << "an exception inside the transfer raises no error event";

    for (const char* address : {"http://127.0.0.2/page", "http://127.0.0.1:80/x", "127.0.0.1", "ftp://h/x"}) {
        recorder.events.clear();
        EXPECT_FALSE(update.HttpFetch(address, "", "", false, false)) << address;
        EXPECT_EQ(recorder.events, std::vector<std::string> {"DownloadError"}) << address;
    }

    // A server that never answers is given the whole-page bound, and no more.
    Reply silent;
    silent.silent = true;
    server->Set("/silent", silent);
    clock.restart();
    EXPECT_FALSE(fetch("/silent"));
    EXPECT_EQ(recorder.events, std::vector<std::string> {"DownloadError"});
    EXPECT_GE(clock.elapsed(), TWebUpdate::CheckTimeoutMs - 100);
    EXPECT_LT(clock.elapsed(), TWebUpdate::CheckTimeoutMs + 2000);
}

TEST_F(WebUpdateTest, ABlackHoledHostIsGivenUpAfterTheConnectionBound)
{
    if (std::system("nft add table ip corvane_test && nft add chain ip corvane_test out "
                    "'{ type filter hook output priority 0; }' && nft add rule ip corvane_test out "
                    "ip daddr 127.0.0.9 tcp dport 80 drop")
        != 0)
        GTEST_SKIP() << "nft is not available";
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(update.HttpFetch("http://127.0.0.9/page", "", "", false, false));
    const qint64 elapsed = clock.elapsed();
    std::system("nft delete table ip corvane_test");
    EXPECT_EQ(recorder.events, std::vector<std::string> {"DownloadError"});
    EXPECT_GE(elapsed, TWebUpdate::ConnectTimeoutMs - 100);
    EXPECT_LT(elapsed, TWebUpdate::ConnectTimeoutMs + 1500);
}

TEST_F(WebUpdateTest, EventsKeepFlowingWhileATransferWaitsAndCancelStopsIt)
{
    Reply slow = ScriptedHttpServer::Page(std::string(2000, 's'), false);
    slow.delayBeforeMs = 400;
    slow.chunks = {std::string(700, 's'), std::string(700, 's'), std::string(700, 's')};
    slow.chunkDelayMs = 150;
    server->Set("/slow", slow);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 widest = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        widest = std::max(widest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    const MachineStall machine;
    clock.start();
    probe.start();
    EXPECT_TRUE(fetch("/slow"));
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_LT(widest, 50 + machine.LongestMs()) << "the widest gap between dispatches, in ms";

    // A cancel from a handler stops the transfer at its next test, without the error event.
    Reply endless = ScriptedHttpServer::Page(std::string(100, 'e'), false);
    endless.endless = true;
    endless.chunkDelayMs = 20;
    server->Set("/endless", endless);
    recorder.onDownload = [this] { update.CancelTransfer(); };
    EXPECT_FALSE(fetch("/endless"));
    EXPECT_EQ(recorder.events, std::vector<std::string> {"Download"});

    // So does an exception out of a handler.
    recorder.onDownload = [] { throw std::runtime_error("handler failed"); };
    EXPECT_FALSE(fetch("/endless"));
    EXPECT_EQ(recorder.events, std::vector<std::string> {"Download"});
}

TEST_F(WebUpdateTest, ACancelWhileTheBodyIsAwaitedFailsWithoutAnErrorEvent)
{
    using Events = std::vector<std::string>;
    // All the page's tags have come when the gadget is closed; the rest of the page has not.
    const std::string page = infoPage("0.6.35.0");
    Reply halting = ScriptedHttpServer::Page(page);
    halting.chunks = {page.substr(0, page.size() - 10), page.substr(page.size() - 10)};
    halting.chunkDelayMs = 3000;
    server->Set(PagePath, halting);
    bool armed = false;
    // The close arrives as an event while the transfer waits for more.
    recorder.onDownload = [&] {
        if (!std::exchange(armed, true))
            QTimer::singleShot(100, [this] { update.CancelTransfer(); });
    };
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events, (Events {"BeforeGetInfo", "Download", "AfterGetInfo", "DownloadError"}));

    halting = ScriptedHttpServer::Page(std::string(3000, 'f'));
    halting.chunks = {std::string(1000, 'f'), std::string(2000, 'f')};
    halting.chunkDelayMs = 3000;
    server->Set("/file", halting);
    armed = false;
    EXPECT_FALSE(fetch("/file", true, true));
    EXPECT_EQ(recorder.events, Events {"Download"});
    EXPECT_EQ(folder.Read("out"), std::string(1000, 'f')) << "the partial file remains";
}

TEST_F(WebUpdateTest, APageOfAMebibyteOfLineBreaksLeavesLittleHeldAfterTheCheck)
{
    server->Set(PagePath, ScriptedHttpServer::Page(std::string(TWebUpdate::MaxPageSize, '\n')));
    // Large blocks are mapped by themselves and counted apart from the heap's.
    const auto held = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
    const size_t before = held();
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events.back(), "DownloadError") << "the page has no tags";
    EXPECT_LT(held() - before, size_t(3) << 20);
}

TEST_F(WebUpdateTest, ChecksFireTheirEventsInOrder)
{
    using Events = std::vector<std::string>;
    server->Set(PagePath, ScriptedHttpServer::Page(infoPage("0.6.34.60")));
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events, (Events {"BeforeGetInfo", "Download", "AfterGetInfo", "NoUpdateFound"}));

    recorder.events.clear();
    server->Set(PagePath, ScriptedHttpServer::Page(infoPage("0.6.35.0")));
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events,
              (Events {"BeforeGetInfo", "Download", "AfterGetInfo", "UpdateAvailable 0.6.34.60 0.6.35.0"}));

    // Accepted, with the window skipped: the file is downloaded and, with no options, not started.
    const std::string file(3000, 'f');
    server->Set("/files/corvane-setup.run", ScriptedHttpServer::Page(file));
    recorder.events.clear();
    recorder.canUpdate = true;
    ::setenv("TMPDIR", folder.Path().c_str(), 1);
    EXPECT_TRUE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events,
              (Events {"BeforeGetInfo", "Download", "AfterGetInfo", "UpdateAvailable 0.6.34.60 0.6.35.0",
                       "BeforeShowInfo", "BeforeDownload", "Download", "AfterDownload"}));
    EXPECT_EQ(update.LocalFileName(), folder.File("corvane-setup.run"));
    EXPECT_EQ(folder.Read("corvane-setup.run"), file);

    // The file is there now: without leave to overwrite it, nothing is fetched.
    recorder.events.clear();
    EXPECT_FALSE(update.CheckAndUpdate());
    ::unsetenv("TMPDIR");
    EXPECT_EQ(recorder.events.back(), "DownloadError");
    EXPECT_EQ(recorder.events.end()[-2], "BeforeShowInfo");

    recorder.events.clear();
    server->Set(PagePath, ScriptedHttpServer::Page("<HTML>no tags</HTML>"));
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events, (Events {"BeforeGetInfo", "Download", "AfterGetInfo", "DownloadError"}));

    recorder.events.clear();
    update.ProductInfo.SetURL("http://127.0.0.2" + PagePath);
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events, (Events {"BeforeGetInfo", "DownloadError", "AfterGetInfo", "DownloadError"}));
}

TEST_F(WebUpdateTest, RedirectionsAreFollowedToTheLastPageButNotForever)
{
    using Events = std::vector<std::string>;
    server->Set(PagePath,
                ScriptedHttpServer::Page(ScriptedHttpServer::InfoPage(
                    {{"wuProduct", "Old"}, {"wuVersion", "9"}, {"wuRedirection", "127.0.0.1/second"}})));
    server->Set("/second", ScriptedHttpServer::Page(infoPage("0.6.34.60")));
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events, (Events {"BeforeGetInfo", "Download", "AfterGetInfo", "NoUpdateFound"}))
        << "one AfterGetInfo, after both pages";
    EXPECT_EQ(update.Info().ProductName, "Corvane");
    EXPECT_EQ(server->Paths(), (std::vector<std::string> {PagePath, "/second"}));

    // A page that names itself is read once.
    const std::string self = ScriptedHttpServer::InfoPage(
        {{"wuProduct", "Corvane"}, {"wuVersion", "9"}, {"wuRedirection", "http://127.0.0.1/self"}});
    server->Set("/self", ScriptedHttpServer::Page(self));
    update.ProductInfo.SetURL("http://127.0.0.1/self");
    recorder.events.clear();
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(recorder.events, (Events {"BeforeGetInfo", "Download", "DownloadError", "AfterGetInfo"}));
    EXPECT_EQ(server->Paths().size(), 3u);

    // A chain that goes on is cut after the last redirection allowed.
    for (int i = 0; i < 20; ++i)
        server->Set("/chain" + std::to_string(i),
                    ScriptedHttpServer::Page(
                        ScriptedHttpServer::InfoPage({{"wuRedirection", "127.0.0.1/chain" + std::to_string(i + 1)}})));
    update.ProductInfo.SetURL("http://127.0.0.1/chain0");
    recorder.events.clear();
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_EQ(server->Paths().size(), 3u + 1 + TWebUpdate::MaxRedirections);
    EXPECT_EQ(recorder.events.end()[-3], "DownloadError");
    EXPECT_EQ(recorder.events.end()[-1], "DownloadError");
}

TEST_F(WebUpdateTest, ANestedCheckDoesNothingAndPageFileNamesStayInTheFolder)
{
    server->Set(PagePath, ScriptedHttpServer::Page(infoPage("0.6.34.60")));
    bool nested = true;
    recorder.onDownload = [&] { nested = update.CheckAndUpdate(); };
    EXPECT_FALSE(update.CheckAndUpdate());
    EXPECT_FALSE(nested);
    EXPECT_EQ(server->Requests().size(), 1u);
    recorder.onDownload = nullptr;

    server->Set(PagePath,
                ScriptedHttpServer::Page(ScriptedHttpServer::InfoPage({{"wuProduct", "Corvane"},
                                                                       {"wuVersion", "1.0"},
                                                                       {"wuClientSideName", "../../escaped.run"},
                                                                       {"wuDownload", "127.0.0.1/files/f"}})));
    server->Set("/files/f", ScriptedHttpServer::Page("new"));
    recorder.canUpdate = true;
    update.ProductInfo.Version = "0.1";
    folder.MakeFolder("tmp");
    ::setenv("TMPDIR", folder.File("tmp").c_str(), 1);
    EXPECT_TRUE(update.CheckAndUpdate());
    EXPECT_EQ(folder.Read("tmp/escaped.run"), "new");
    EXPECT_FALSE(folder.Exists("escaped.run"));

    server->Set(PagePath,
                ScriptedHttpServer::Page(ScriptedHttpServer::InfoPage(
                    {{"wuProduct", "Corvane"}, {"wuVersion", "1.0"}, {"wuDownload", "127.0.0.1/files/f"}})));
    recorder.events.clear();
    EXPECT_FALSE(update.CheckAndUpdate());
    ::unsetenv("TMPDIR");
    EXPECT_EQ(recorder.events.back(), "DownloadError") << "a page without a file name gets nothing written";
    EXPECT_EQ(server->Paths().back(), PagePath);
}

TEST_F(WebUpdateTest, TheHandOffStartsTheFileWithItsParametersAndTellsWhenItCannot)
{
    server->Set(PagePath,
                ScriptedHttpServer::Page(ScriptedHttpServer::InfoPage({{"wuProduct", "Corvane"},
                                                                       {"wuVersion", "1.0"},
                                                                       {"wuClientSideName", "setup.run"},
                                                                       {"wuRunParameters", "--quiet"},
                                                                       {"wuDownload", "127.0.0.1/f"}})));
    server->Set("/f", ScriptedHttpServer::Page("new"));
    auto shell = std::make_shared<ShellRecorder>();
    SetShellOpenerForTesting(shell);
    bool cannot = false;
    update.OnCannotExecute = [&](TWebUpdate&) { cannot = true; };
    update.Options = uoRunUpdate;
    recorder.canUpdate = true;
    ::setenv("TMPDIR", folder.Path().c_str(), 1);
    EXPECT_TRUE(update.CheckAndUpdate());
    ::unsetenv("TMPDIR");
    SetShellOpenerForTesting(nullptr);
    EXPECT_EQ(shell->opened, std::vector<std::string> {folder.File("setup.run") + " --quiet"});
    EXPECT_TRUE(cannot);
}

// The program's own update form, pointed at the scripted server.

class UpdateFormTest : public WebUpdateTest
{
protected:
    void SetUp() override
    {
        WebUpdateTest::SetUp();
        if (IsSkipped())
            return;
        ::setenv("CORVANE_UPDATE_HOST", "127.0.0.1", 1);
        SetProgramFolderForTesting(folder.Path());
        SetDesktopAreaForTesting(TDesktopArea {QRect(0, 0, 1280, 1024), QRect(0, 0, 1280, 1000)});
        SetShellOpenerForTesting(shell);
        MessageBox::SetRecording(true);
        MessageBox::ClearRecorded();
        form = std::make_unique<Tform_checkupdate_interno>();
    }

    void TearDown() override
    {
        form.reset();
        ::setenv("CORVANE_UPDATE_HOST", "", 1);
        SetProgramFolderForTesting(std::string());
        SetDesktopAreaForTesting(std::nullopt);
        SetShellOpenerForTesting(nullptr);
        MessageBox::SetRecording(false);
    }

    std::vector<QString> notices() const
    {
        std::vector<QString> texts;
        for (TfrmTrayPopUp* window : form->traypopup->Windows())
            texts.push_back(window->windowTitle());
        return texts;
    }

    std::shared_ptr<ShellRecorder> shell = std::make_shared<ShellRecorder>();
    std::unique_ptr<Tform_checkupdate_interno> form;
};

TEST_F(UpdateFormTest, ChecksEndInTheRightNoticeStackedAboveTheLastOne)
{
    server->Set(PagePath, ScriptedHttpServer::Page(infoPage("0.6.34.60")));
    form->FormCreate();
    ASSERT_EQ(notices(),
              std::vector<QString> {QStringLiteral(
                  "Controllo aggiornamenti, al momento non ci sono novit\u00e0.\nMaggiori info sul sito")});
    EXPECT_EQ(form->lbl_YourVersion->text(), QStringLiteral("0.6.34.60"));
    EXPECT_EQ(form->lbl_ProductName->text(), QStringLiteral("Corvane"));

    // A newer version has come out since: the menu's check tells so, in a notice above the first.
    server->Set(PagePath, ScriptedHttpServer::Page(infoPage("0.6.35.0")));
    form->btn_UpdateClick();
    const auto texts = notices();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1],
              QStringLiteral("E' uscita una nuova versione di \nCorvane\nClicca qui per visitare la pagina web"));
    const auto windows = form->traypopup->Windows();
    EXPECT_EQ(windows[0]->CreationOffset, 0);
    EXPECT_EQ(windows[1]->CreationOffset, 123);
    EXPECT_TRUE(form->Button2->isVisibleTo(form.get()));
    EXPECT_FALSE(form->btn_Update->isVisibleTo(form.get()));
    EXPECT_EQ(server->Paths(), (std::vector<std::string> {PagePath, PagePath})) << "no download without a request";
    EXPECT_TRUE(shell->opened.empty());

    // "Aggiorna" downloads into temp beside the program and hands the file to the shell.
    folder.MakeFolder("temp");
    server->Set("/files/corvane-setup.run", ScriptedHttpServer::Page("#!/bin/sh\n"));
    form->Button2Click();
    EXPECT_EQ(folder.Read("temp/corvane-setup.run"), "#!/bin/sh\n");
    EXPECT_EQ(shell->opened, std::vector<std::string> {folder.File("temp/corvane-setup.run")});
    ASSERT_EQ(MessageBox::Recorded().size(), 1u);
    EXPECT_EQ(MessageBox::Recorded()[0].text, QStringLiteral("Avvio fase di installazione/aggiornamento..."));
}

TEST_F(UpdateFormTest, AFailedCheckShowsNothingAndAnEmptyHostTurnsTheCheckOff)
{
    server->Set(PagePath, ScriptedHttpServer::Page("<HTML></HTML>"));
    form->FormCreate();
    EXPECT_TRUE(notices().empty());
    ::setenv("CORVANE_UPDATE_HOST", "", 1);
    form->btn_UpdateClick();
    EXPECT_EQ(server->Requests().size(), 1u);
    EXPECT_TRUE(MessageBox::Recorded().empty());
}

} // namespace
