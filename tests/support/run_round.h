// Runs one monitoring round of the gadget to its end: rounds are events of the loop, so it is started and
// the loop served until it has ended.
#pragma once

#include "app/form1.h"

#include <QCoreApplication>
#include <QElapsedTimer>

// False when the round was still running after `timeoutMs`.
inline bool RunRound(int timeoutMs = 60000)
{
    Form1->initping1Click();
    QElapsedTimer clock;
    clock.start();
    while (Form1->CycleRunning() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return !Form1->CycleRunning();
}
