// Runs one monitoring round of the gadget to its end: rounds are events of the loop, so it is started and
// the loop served, asleep between events, until it has ended.
#pragma once

#include "app/form1.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

// False when the round was still running after `timeoutMs`.
inline bool RunRound(int timeoutMs = 60000)
{
    Form1->initping1Click();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (!Form1->CycleRunning() || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start(5);
    if (Form1->CycleRunning())
        loop.exec();
    return !Form1->CycleRunning();
}
