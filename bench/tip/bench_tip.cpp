// A status-list row's tip: from the pointer coming to rest on a row to the tip's first painted frame, with
// 60 rounds kept for the row's resource. The tip delay is set to 0, so the figure is the program's own work,
// not the desktop's deliberate wait. Prints `name value` lines.
#include "app/latency_figures.h"
#include "app/resource_states.h"
#include "ui/image_list.h"
#include "ui/image_list_box.h"
#include "ui/latency_tip.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Rounds = 300;
constexpr int Rows = 4;

class PaintProbe final : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

std::string nameOf(int row)
{
    return "host" + std::to_string(row) + ".cvr";
}

// 60 rounds of three echoes for every row, a few of them unanswered, as the gadget keeps them.
TResourceStates keptRounds()
{
    TResourceStates states;
    const auto start = TWallClock::now() - std::chrono::hours(1);
    for (int round = 0; round < TResourceState::HistoryLength; ++round)
        for (int row = 0; row < Rows; ++row) {
            TRoundResult result;
            for (int echo = 0; echo < 3; ++echo) {
                TReplyStatus reply;
                reply.Outcome = round % 7 == 3 ? roTimeOut : roEchoReply;
                reply.RoundTripUs = static_cast<uint32_t>(400 + (round * 37 + row * 11 + echo * 101) % 900);
                result.Add(reply);
            }
            result.Address = "127.0.0." + std::to_string(row + 1);
            states.Record(nameOf(row), "host" + std::to_string(row), result, start + std::chrono::minutes(round));
        }
    return states;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TImageList images(16, 16);
    TImageListBox list;
    list.SetImages(&images);
    list.SetItemHeight(17);
    list.setGeometry(100, 100, 121, 81);
    for (int row = 0; row < Rows; ++row)
        list.Items().Add(QString::fromStdString(nameOf(row)));
    list.show();
    TLatencyTip tip;
    PaintProbe probe;
    tip.installEventFilter(&probe);
    list.SetTipDelay(0);
    const TResourceStates states = keptRounds();
    // As the gadget does it: the row's figures are taken from the kept rounds at the moment the tip shows.
    list.OnRowTip = [&](int row, const QRect& area) {
        if (row < 0)
            tip.hide();
        else
            tip.ShowBeside(area, LatencyFigures(nameOf(row), states.Find(nameOf(row))));
    };
    if (!QTest::qWaitForWindowExposed(&list)) {
        std::fprintf(stderr, "bench_tip: the list never reached the screen\n");
        return 1;
    }

    std::vector<double> micros;
    double first = 0;
    for (int round = 0; round < Rounds + 1; ++round) {
        list.EndRowTip();
        QTest::mouseMove(list.viewport(), QPoint(60, 70));
        QApplication::processEvents();
        probe.painted = false;
        const int row = round % Rows;
        const auto start = std::chrono::steady_clock::now();
        QTest::mouseMove(list.viewport(), QPoint(40, row * 17 + 8));
        while (!probe.painted)
            QApplication::processEvents();
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        if (round == 0)
            first = us;
        else
            micros.push_back(us);
    }
    std::printf("tip_open_first_ms %.2f\n", first / 1000);
    std::printf("tip_open_ms %.2f\n", median(micros) / 1000);
    std::printf("tip_open_worst_ms %.2f\n", *std::max_element(micros.begin(), micros.end()) / 1000);
    return 0;
}
