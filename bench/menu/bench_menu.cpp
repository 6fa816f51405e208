// Opening the main menu: from the right button's release to the first painted frame, on the offscreen
// platform, for the banner menu and for a plain menu with the same items. Prints `name value` lines.
#include "app/chrome_look.h"
#include "ui/bar_popup_menu.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Rounds = 400;

void fill(QMenu& menu)
{
    auto* sub = new QMenu(QStringLiteral("Risorse"), &menu);
    for (const char* caption : {"&Aggiungi risorsa", "&Modifica risorsa", "Visualizza/Nascondi"})
        sub->addAction(QString::fromUtf8(caption));
    sub->addSeparator();
    sub->addAction(QStringLiteral("&Elimina risorsa"));
    menu.addMenu(sub);
    menu.addAction(QStringLiteral("Avvia i &processi immediatamente"));
    menu.addAction(QStringLiteral("proc_update"))->setVisible(false);
    menu.addAction(QStringLiteral("&Impostazioni"));
    menu.addSeparator();
    for (const char* caption : {"Ve&rifica aggiornamenti", "Visita sito &web", "In&formazioni"})
        menu.addAction(QString::fromUtf8(caption));
    menu.addSeparator();
    menu.addAction(QStringLiteral("&Visualizza/Nascondi"));
    menu.addAction(QStringLiteral("&Esci"));
}

// Opens its menu where the right button is released, as the gadget does.
class Host final : public QWidget
{
public:
    QMenu* menu = nullptr;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton)
            menu->popup(event->globalPosition().toPoint());
    }
};

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

struct Subject
{
    QMenu* menu;
    PaintProbe probe;
    std::vector<double> micros;
};

double openOnce(Host& host, Subject& subject, bool repaintBanner)
{
    if (repaintBanner)
        if (auto* bar = qobject_cast<TCustomBarPopupMenu*>(subject.menu))
            bar->Bar(); // reaching the bar drops the painted banner
    host.menu = subject.menu;
    subject.probe.painted = false;
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseRelease(&host, Qt::RightButton, {}, QPoint(20, 20));
    while (!subject.probe.painted)
        QApplication::processEvents();
    const double micros = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    subject.menu->hide();
    QApplication::processEvents();
    return micros;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Host host;
    host.resize(200, 200);
    host.show();

    QMenu plain;
    fill(plain);
    TBarPopupMenu banner;
    SetUpProgramBanner(banner);
    fill(banner);
    Subject subjects[] = {{&plain, {}, {}}, {&banner, {}, {}}};
    for (Subject& subject : subjects)
        subject.menu->installEventFilter(&subject.probe);

    const double first = openOnce(host, subjects[1], false);
    for (int warm = 0; warm < 20; ++warm)
        for (Subject& subject : subjects)
            openOnce(host, subject, false);
    std::vector<double> repainted;
    for (int round = 0; round < Rounds; ++round) {
        // Alternating, so drifts of the machine fall on both alike.
        for (Subject& subject : subjects)
            subject.micros.push_back(openOnce(host, subject, false));
        repainted.push_back(openOnce(host, subjects[1], true));
    }
    const double qmenu = median(subjects[0].micros);
    const double bar = median(subjects[1].micros);
    std::printf("menu_open_qmenu_us %.1f\n", qmenu);
    std::printf("menu_open_banner_us %.1f\n", bar);
    std::printf("menu_open_banner_first_us %.1f\n", first);
    std::printf("menu_open_banner_repainted_us %.1f\n", median(repainted));
    std::printf("ratio_vs_qmenu %.3f\n", bar / qmenu);
    std::printf("ratio_vs_qmenu_banner_repainted %.3f\n", median(repainted) / qmenu);
    return 0;
}
