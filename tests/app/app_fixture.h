// The program's whole window set, started in a temporary program folder with recorded message boxes.
#pragma once

#include "app/window_set.h"
#include "platform/program_folder.h"
#include "tests/support/temp_folder.h"
#include "ui/message_box.h"

#include <QString>

#include <gtest/gtest.h>
#include <memory>

class AppWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetProgramFolderForTesting(folder.Path());
        MessageBox::SetRecording(true);
        MessageBox::ClearRecorded();
        folder.MakeFolder("list");
    }

    void TearDown() override
    {
        windows.reset();
        MessageBox::SetRecording(false);
        SetProgramFolderForTesting(std::string());
    }

    // Creates the windows as start-up does, with the resources already written.
    void startProgram()
    {
        windows = std::make_unique<TWindowSet>();
        windows->Create();
    }

    void writeResource(const std::string& name, const std::string& target, const std::string& count)
    {
        folder.Write("list/" + name, target + "\r\n" + count + "\r\n");
    }

    // The text of the only message box shown so far, or an empty text.
    QString lastBox() const { return MessageBox::Recorded().empty() ? QString() : MessageBox::Recorded().back().text; }

    TempFolder folder;
    std::unique_ptr<TWindowSet> windows;
};
