// The tip beside a status-list row: how its resource answered in the last round and in the rounds before.
#pragma once

#include "ui/sparkline.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

enum class TLatencyStanding { Unknown, Up, Down };

// What the tip tells about one resource, as the monitoring rounds left it.
struct TLatencyFigures
{
    QString Name; // the row's text, named when nothing else is known
    bool Pinged = false; // false until a round has reached the resource
    QString Host;
    QString Address; // what the host resolved to; empty when it never resolved
    int Sent = 0; // echo exchanges completed in the last round
    int Received = 0;
    uint32_t MinUs = 0;
    uint32_t AvgUs = 0;
    uint32_t MaxUs = 0;
    QString Error; // what ended the last round early, empty when nothing did
    std::vector<TSparkPoint> Rounds; // oldest first
    int Capacity = 60; // how many rounds are kept at most
    TLatencyStanding Standing = TLatencyStanding::Unknown;
    QDateTime Since; // when the present standing began; invalid when it is not known
};

// The tip's lines, first the title; `now` decides whether the time a standing began needs its date.
QStringList LatencyTipLines(const TLatencyFigures& figures, const QDateTime& now);
// What the picture under the lines shows.
QString LatencyGraphCaption(const TLatencyFigures& figures);

class TLatencyTip final : public QWidget
{
    Q_OBJECT

public:
    explicit TLatencyTip(QWidget* parent = nullptr);

    // Shows the figures beside `row` (screen coordinates): on its right where the screen has room, else on
    // its left, and never off the screen.
    void ShowBeside(const QRect& row, const TLatencyFigures& figures);

    const QStringList& Lines() const { return m_lines; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList m_lines;
    QString m_caption;
    std::vector<TSparkPoint> m_rounds;
    int m_capacity = 0;
    uint32_t m_scaleUs = 0;
};
