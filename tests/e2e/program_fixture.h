// The real program in a folder of its own on a private X server, with its error boxes read from its
// standard error and the status images of its first rows read off the screen.
#pragma once

#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <QColor>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <thread>

// What a row's status image shows: the green ball, the red sign, or anything else (idle, hourglass).
enum class Shown { Other, Up, Error };

inline std::ostream& operator<<(std::ostream& out, Shown shown)
{
    return out << (shown == Shown::Up ? "green" : shown == Shown::Error ? "red" : "neither");
}

class ProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "import"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>();
        if (!session->Started())
            GTEST_SKIP() << "Xvfb did not start";
        std::filesystem::copy_file(std::filesystem::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
        folder.MakeFolder("list");
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
    }

    void start(const std::string& executable, const std::map<std::string, std::string>& env = {})
    {
        session->StartProgram(executable, folder.Path(), env, folder.File("stderr.txt"));
    }

    // The gadget and the program's boxes share the title "Corvane"; the gadget is the one of its fixed size.
    bool isGadget(const std::string& window) const
    {
        const auto at = session->WindowGeometry(window);
        return at && at->size() == QSize(156, 347);
    }

    std::vector<std::string> openBoxes() const
    {
        std::vector<std::string> boxes;
        for (const std::string& window : session->VisibleWindows("^Corvane$"))
            if (!isGadget(window))
                boxes.push_back(window);
        return boxes;
    }

    std::string waitForGadget()
    {
        for (int waited = 0; waited < 20000; waited += 100) {
            for (const std::string& window : session->VisibleWindows("^Corvane$"))
                if (isGadget(window)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    return window;
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::string();
    }

    // The texts of the error boxes shown so far, in order.
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> texts;
        std::istringstream lines(folder.Exists("stderr.txt") ? folder.Read("stderr.txt") : std::string());
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with("Corvane: "))
                texts.push_back(line.substr(9));
        return texts;
    }

    bool waitForBoxes(size_t count, int timeoutMs = 8000) const
    {
        for (int waited = 0; boxes().size() < count; waited += 50) {
            if (waited >= timeoutMs)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    // Clicks the error box's OK, once the box is on the screen, and waits until it is gone. Its text reaches
    // standard error just before it is shown. (A key sent to the box as a synthetic event would close the
    // next box too.)
    bool answerBox() const
    {
        bool seen = false;
        for (int waited = 0; waited < 8000; waited += 100) {
            const auto open = openBoxes();
            if (open.empty() && seen)
                return true;
            seen = seen || !open.empty();
            // OK sits in the bottom right corner, 12 pixels in from both edges.
            if (const auto box = open.empty() ? std::nullopt : session->WindowGeometry(open.front()))
                session->Tool({"xdotool", "mousemove", std::to_string(box->right() - 40),
                               std::to_string(box->bottom() - 24), "click", "1"});
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // What the status images of the list's first `count` rows show.
    std::vector<Shown> rows(const std::string& window, int count) const
    {
        const auto at = session->WindowGeometry(window);
        const QImage shot = session->Screenshot();
        std::vector<Shown> shown;
        for (int row = 0; row < count && at && !shot.isNull(); ++row) {
            int green = 0, red = 0;
            // The image sits two pixels into a 17-pixel row of the list, which starts at (16, 40).
            for (int y = at->y() + 40 + 17 * row + 1; y < at->y() + 40 + 17 * row + 16; ++y)
                for (int x = at->x() + 16; x < at->x() + 16 + 22; ++x) {
                    const QColor c(shot.pixel(x, y));
                    green += c.green() > c.red() + 50 && c.green() > c.blue() + 50;
                    red += c.red() > 150 && c.green() < 90 && c.blue() < 90;
                }
            shown.push_back(green >= 20 ? Shown::Up : red >= 20 ? Shown::Error : Shown::Other);
        }
        return shown;
    }

    int stopWithSigterm()
    {
        session->SignalProgram(SIGTERM);
        int status = -1;
        if (!session->WaitForExit(15000, &status))
            ADD_FAILURE() << "the program did not end";
        return status;
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
};
