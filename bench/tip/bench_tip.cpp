// A status-list row's tip: from the pointer coming to rest on a row to the tip's first painted frame, with
// 60 rounds kept for the row's resource. The tip delay is set to 0, so the figure is the program's own work,
// not the desktop's deliberate wait. Prints `name value` lines.
#include "ui/image_list.h"
#include "ui/image_list_box.h"
#include "ui/latency_tip.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

TLatencyFigures figuresFor(int row)
{
    TLatencyFigures figures;
    figures.Name = QStringLiteral("host%1.cvr").arg(row);
    figures.Pinged = true;
    figures.Host = QStringLiteral("host%1.example").arg(row);
    figures.Address = QStringLiteral("127.0.0.%1").arg(row + 1);
    figures.Sent = figures.Received = 3;
    figures.MinUs = 300;
    figures.AvgUs = 650;
    figures.MaxUs = 1200;
    for (int i = 0; i < 60; ++i)
        figures.Rounds.push_back({i % 7 != 3, static_cast<uint32_t>(400 + (i * 37 + row * 11) % 900)});
    figures.Standing = TLatencyStanding::Up;
    figures.Since = QDateTime::currentDateTime().addSecs(-3600);
    return figures;
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
        list.Items().Add(QStringLiteral("host%1.cvr").arg(row));
    list.show();
    TLatencyTip tip;
    PaintProbe probe;
    tip.installEventFilter(&probe);
    list.SetTipDelay(0);
    list.OnRowTip = [&](int row, const QRect& area) {
        if (row < 0)
            tip.hide();
        else
            tip.ShowBeside(area, figuresFor(row));
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
