#include "platform/text_locale.h"
#include "ui/latency_tip.h"
#include "ui/sparkline.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <functional>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// '+' an answered round, '-' one without answer.
std::vector<TSparkPoint> rounds(const std::string& pattern, uint32_t us = 500)
{
    std::vector<TSparkPoint> points;
    for (const char c : pattern)
        points.push_back({c == '+', us});
    return points;
}

TLatencyFigures answering()
{
    TLatencyFigures f;
    f.Pinged = true;
    f.Host = QStringLiteral("router.lan");
    f.Address = QStringLiteral("192.168.1.1");
    f.Sent = f.Received = 3;
    f.MinUs = 412;
    f.AvgUs = 600;
    f.MaxUs = 1149;
    f.Rounds = rounds(std::string(57, '+') + "---");
    f.Standing = TLatencyStanding::Up;
    f.Since = QDateTime(QDate(2025, 3, 12), QTime(9, 5, 40));
    return f;
}

TEST(LatencyTipTest, LinesTellTheLastRoundTheLossAndSinceWhen)
{
    const QDateTime now(QDate(2025, 3, 12), QTime(14, 0));
    const std::pair<std::function<void(TLatencyFigures&)>, std::vector<const char*>> cases[] = {
        {[](TLatencyFigures&) {},
         {"router.lan (192.168.1.1)", "Ultimo giro: 3/3 risposte, 0,4 / 0,6 / 1,1 ms",
          "Senza risposta: 3 giri su 60 (5%)", "Risponde dalle 09:05"}},
        {[](TLatencyFigures& f) {
             f.Host = f.Address = QStringLiteral("10.0.0.1");
             f.Received = 0;
             f.Rounds = rounds("+--");
             f.Standing = TLatencyStanding::Down;
             f.Since = QDateTime(QDate(2024, 12, 31), QTime(23, 59));
         },
         {"10.0.0.1", "Ultimo giro: 0/3 risposte", "Senza risposta: 2 giri su 3 (67%)",
          "Non risponde dalle 23:59 del 31/12/2024"}},
        {[](TLatencyFigures& f) {
             f.Host = QStringLiteral("no\r\nhost");
             f.Address.clear();
             f.Sent = f.Received = 0;
             f.Error = QStringLiteral("Socket Error # 11001\r\nHost not found.");
             f.Rounds = rounds("-");
             f.Standing = TLatencyStanding::Unknown;
         },
         {"no host", "Ultimo giro: Socket Error # 11001 Host not found.", "Senza risposta: 1 giro su 1 (100%)",
          "Non ha ancora risposto"}},
        {[](TLatencyFigures& f) {
             f.Sent = f.Received = 1;
             f.MinUs = f.AvgUs = f.MaxUs = 30;
             f.Error = QStringLiteral("Non-echo type response received");
         },
         {"router.lan (192.168.1.1)",
          "Ultimo giro: 1/1 risposte, 0,03 / 0,03 / 0,03 ms; Non-echo type response received",
          "Senza risposta: 3 giri su 60 (5%)", "Risponde dalle 09:05"}},
    };
    for (const auto& [change, lines] : cases) {
        TLatencyFigures figures = answering();
        change(figures);
        QStringList expected;
        for (const char* line : lines)
            expected << QString::fromUtf8(line);
        EXPECT_EQ(LatencyTipLines(figures, now), expected);
    }
    // Rounded to the nearest hundredth below a tenth, else to the nearest tenth, up to the largest round trip.
    QStringList written;
    for (const uint32_t us : {4u, 44u, 94u, 95u, 999'950u, UINT32_MAX})
        written << MillisecondsText(us);
    EXPECT_EQ(written, QStringLiteral("0,00 0,04 0,09 0,1 1000,0 4294967,3").split(QLatin1Char(' ')));
    TLatencyFigures figures = answering();
    EXPECT_EQ(LatencyGraphCaption(figures), QStringLiteral("Tempo medio degli ultimi 60 giri"));
    figures.Rounds = rounds("-");
    EXPECT_EQ(LatencyGraphCaption(figures), QStringLiteral("Nessuna risposta nell'ultimo giro"));
}

TEST(SparklineTest, ScaleIsARoundNumberAboveTheSlowestAnswer)
{
    const std::pair<std::vector<TSparkPoint>, uint32_t> cases[] = {
        {{}, 0},
        {{{false, 9000}}, 0},
        {{{true, 0}}, 100},
        {{{true, 101}}, 200},
        {{{true, 1149}, {false, 9000}}, 2000},
        {{{true, 5001}}, 10'000},
        {{{true, UINT32_MAX}}, UINT32_MAX},
    };
    for (const auto& [points, scale] : cases)
        EXPECT_EQ(SparklineScaleUs(points), scale) << (points.empty() ? 0 : points.front().Us);
}

bool red(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 80;
}

bool green(QRgb c)
{
    return qGreen(c) > qRed(c) + 40;
}

TEST(SparklineTest, NewestAtTheRightFailuresAsRedBarsAndPaintedAtTheTargetResolution)
{
    // Ten rounds on a 60-round axis, in slots 50 to 59 of 3 pixels, 32 high, scale 2 ms, painted at twice the
    // resolution. The fourth round and the newest failed.
    std::vector<TSparkPoint> points = rounds("++++-+-+--", 1000);
    points[0].Us = 2000;
    points[7].Us = 1000 - 2000 / 64; // half a logical pixel below the round two before
    QImage image(360, 66, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PaintSparkline(painter, QRectF(0, 0, 180, 32), points, 60, 2000);
    }
    // The highest device row in a slot that `test` finds, or -1.
    const auto top = [&](int slot, bool (*test)(QRgb)) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = slot * 6; x < slot * 6 + 6; ++x)
                if (test(image.pixel(x, y)))
                    return y;
        return -1;
    };
    for (int slot = 0; slot < 49; ++slot)
        ASSERT_EQ(top(slot, red) + top(slot, green), -2) << "slot " << slot << " holds no round";
    for (int slot = 50; slot < 60; ++slot)
        EXPECT_EQ(top(slot, red), points[static_cast<size_t>(slot - 50)].Answered ? -1 : 0) << slot;
    EXPECT_TRUE(red(image.pixel(59 * 6, 63))) << "full height";
    EXPECT_LE(top(50, green), 2) << "2 ms reaches the top";
    EXPECT_NEAR(top(52, green), 31, 2) << "1 ms is half way";
    // Half a logical pixel is a device row, which an enlarged picture could not show.
    EXPECT_EQ(top(57, green) - top(55, green), 1);
    // Bars have whole device pixels for edges, all equally wide.
    std::vector<int> widths;
    for (const int slot : {54, 56, 58, 59}) {
        int width = 0;
        for (int x = slot * 6; x < slot * 6 + 6; ++x) {
            ASSERT_TRUE(red(image.pixel(x, 30)) || image.pixel(x, 30) == qRgb(255, 255, 255)) << x;
            width += red(image.pixel(x, 30));
        }
        widths.push_back(width);
    }
    EXPECT_GE(widths.front(), 4);
    EXPECT_EQ(widths, std::vector<int>(4, widths.front()));
}

TEST(LatencyTipTest, ShowsBesideTheRowAndNeverOffTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    TLatencyTip tip;
    const QRect row(screen.left() + 100, screen.top() + 100, 121, 17);
    tip.ShowBeside(row, answering());
    EXPECT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.Lines(), LatencyTipLines(answering(), QDateTime::currentDateTime()));
    EXPECT_EQ(tip.geometry().topLeft(), QPoint(row.right() + 9, row.top()));
    EXPECT_GE(tip.width(), 180) << "room for 60 rounds of 3 pixels";
    // Every line fits whole: laid out with fractional advances, a width rounded down would cut its end.
    for (const QString& line : tip.Lines()) {
        QFont face = tip.font();
        face.setBold(line == tip.Lines().front());
        EXPECT_LE(QFontMetricsF(face, &tip).horizontalAdvance(line), tip.width() - 12) << line.toStdString();
    }
    // In the bottom right corner it goes left of the row and up.
    const QRect corner(screen.right() - 121, screen.bottom() - 17, 121, 17);
    tip.ShowBeside(corner, answering());
    EXPECT_EQ(tip.geometry().right(), corner.left() - 9);
    EXPECT_EQ(tip.geometry().bottom(), screen.bottom());
    // A host name longer than the screen is wide still leaves the whole tip on it.
    TLatencyFigures huge = answering();
    huge.Host = QString(2000, QLatin1Char('w'));
    tip.ShowBeside(row, huge);
    EXPECT_TRUE(screen.contains(tip.geometry()));
}

} // namespace
