// Corvane: a desktop gadget that pings the user's hosts at an interval and shows how each one answers.
#include "app/application.h"
#include "app/window_set.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TWindowSet windows;
    windows.Create();
    windows.ShowMainWindow();
    return application.exec();
}
