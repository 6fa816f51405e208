// Corvane: a desktop gadget that pings the user's hosts at an interval and shows how each one answers.
#include "app/application.h"
#include "app/form1.h"
#include "app/quit_signals.h"
#include "app/resource_store.h"
#include "app/translators.h"
#include "app/window_set.h"
#include "platform/atomic_file.h"
#include "platform/program_folder.h"

int main(int argc, char** argv)
{
    // The gadget places itself on the screen, which X11 lets a program do and Wayland does not: in a Wayland
    // session it runs through XWayland, unless the user chose a platform. The programs it starts (the
    // browser) choose their own.
    const bool choosePlatform = !qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (choosePlatform)
        qputenv("QT_QPA_PLATFORM", "xcb");
    TApplication application(argc, argv);
    if (choosePlatform)
        qunsetenv("QT_QPA_PLATFORM");
    SeedProgramFolder(ProgramFolder(), ExecutableFolder());
    InstallLanguage(ProgramLanguage());
    // What a write killed half-way left behind; the files themselves are whole.
    RemoveStaleTemporaries(ProgramFolder());
    RemoveStaleTemporaries(ResourceFolder());
    TWindowSet windows;
    windows.Create();
    windows.ShowMainWindow();
    // From here a close ends the event loop, so a signal can take the path of the user's "Esci".
    TQuitSignals quitSignals;
    quitSignals.OnQuitRequested = [](int) {
        if (Form1)
            Form1->close();
    };
    return application.exec();
}
