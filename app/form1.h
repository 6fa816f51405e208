// The main window: the desktop gadget, its monitoring cycle and every command of its menus.
#pragma once

#include "app/app_ini_file_storage.h"
#include "app/form_storage.h"
#include "app/resource_states.h"
#include "app/timer.h"
#include "app/wave_player.h"
#include "ui/about_dlg.h"
#include "ui/bar_popup_menu.h"
#include "ui/image_list.h"

#include <QPoint>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class TAlertMailer;
class TEchoEngine;
class TNameResolver;
class TQtEventLoop;
class TResourceRun;
class TRoundRunner;
class TTcpProbe;
class TSequenceSource;
struct TRoundEntry;
class TAlertNotices;
class TWidgetPlacementTarget;
class TfrmPing;
class TImage;
class TImageListBox;
class TLatencyTip;
class TTrayIcon;

class TForm1 final : public QWidget
{
public:
    TForm1();
    ~TForm1() override;

    // Writes corvane.ini at the first start, reads the interval and arms the timer.
    void FormCreate();
    // Start-up has created every window; a tick or a close that came earlier is carried out now.
    void StartupFinished();
    // Every menu command goes through here: refused until start-up has finished, except the close.
    void RunCommand(void (TForm1::*command)());
    // The window has agreed to close, which ends the program.
    bool Closed() const { return m_closed; }

    // The refresh: lists the resource folder and rebuilds the resource list, every status at 0.
    void procupdate1Click();
    // Starts one monitoring round over every resource; it runs as events of the loop and this returns at
    // once. An error that keeps it from starting (the folder is gone) is shown in the error box, unless one
    // is already open (a box per failing round would pile up while the first waits for its OK); the timer
    // is armed again either way.
    void initping1Click();
    void Timer1Timer();
    bool CycleRunning() const { return m_cycleRunning; }
    // A close was asked for during start-up; it follows once start-up has finished.
    bool ClosePending() const { return m_closeRequested; }
    // What each resource's rounds came to, looked up by file name.
    const TResourceStates& ResourceStates() const { return m_states; }

    void Aggiungirisorsa1Click();
    void Modificarisorsa1Click();
    void Eliminarisorsa1Click();
    void Processi1Click();
    void VisualizzaNascondi1Click();
    void Opzioni1Click();
    void dd1Click();
    void ff1Click();
    void About1Click();
    void aboutCustomClick();
    void gg1Click();

    void Image1MouseDown(Qt::MouseButton button, QPoint position);
    void Image1MouseMove(QPoint position);
    void Image1MouseUp(Qt::MouseButton button, QPoint position);

    TImage* Image2;
    TImage* Image1;
    QLabel* Label1;
    TImageListBox* listaproc;

    TImageList ImageStatus;
    TWavePlayer waveplayer;
    TTimer* Timer1;
    TTrayIcon* TrayIcon1;
    TAboutDlg about;

    // The storage is declared first, so the placement's last save lands before the storage flushes.
    TAppIniFileStorage AppIniFileStorage1;
    TFormStorage FormStorage1;

    TBarPopupMenu* BarPopupMenu1;
    TBarPopupMenu* BarPopupMenu2;
    QAction* Risorse1;
    QAction* Aggiungirisorsa2;
    QAction* Modificarisorsa2;
    QAction* Processi1;
    QAction* Eliminarisorsa2;
    QAction* initping1;
    QAction* procupdate1;
    QAction* Opzioni1;
    QAction* dd1;
    QAction* ff1;
    QAction* About1;
    QAction* VisualizzaNascondi1;
    QAction* gg1;
    QAction* Aggiungirisorsa1;
    QAction* Modificarisorsa1;
    QAction* Eliminarisorsa1;

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void renderArtwork();
    void updateShape();
    void setCycleRunning(bool running);
    void runCycle();
    // One listed resource read for its run; what keeps it from being read becomes the run's error.
    TRoundEntry loadResource(int index);
    // The run a resource's host line asks for: echoes, TCP connects or HTTP requests.
    std::unique_ptr<TResourceRun> makeRun(const TRoundEntry& entry);
    void runStarted(int index);
    void exchanged(int index, bool answered);
    void runEnded(int index, const TRoundEntry& entry, const TRoundResult& round);
    void roundEnded();
    // A resource that cannot be read is told in the error box once, until its file changes.
    void tellUnreadable(const TRoundEntry& entry);
    void soundAlarm();
    // Tells the changes of the round that has just ended in a notice and a mail, as the settings ask.
    void reportChanges();
    // Shows the tip of a row of the list with what the rounds kept for its resource, or hides it for -1.
    void showRowTip(int row, const QRect& area);

    bool m_dragging = false;
    QPoint m_dragOrigin;
    // Rounds run on the program's one event loop; the engine keeps one socket per family for all hosts.
    std::unique_ptr<TQtEventLoop> m_loop;
    std::unique_ptr<TNameResolver> m_resolver;
    std::unique_ptr<TEchoEngine> m_engine;
    std::unique_ptr<TTcpProbe> m_tcp;
    std::unique_ptr<TRoundRunner> m_round;
    std::unique_ptr<TSequenceSource> m_sequences;
    bool m_cycleRunning = false;
    bool m_alarmThisRound = false;
    // The file names the list's rows were made from.
    std::vector<std::string> m_listed;
    // The error last told for each unreadable resource, with its file's stamp when it was told.
    std::map<std::string, std::string> m_toldUnreadable;
    bool m_startupFinished = false;
    bool m_tickDeferred = false;
    bool m_closeRequested = false;
    bool m_closed = false;
    TWidgetPlacementTarget* m_placementTarget = nullptr;
    qreal m_artworkScale = 0;
    TResourceStates m_states;
    TLatencyTip* m_latencyTip = nullptr;
    std::unique_ptr<TAlertNotices> m_alertNotices;
    std::unique_ptr<TAlertMailer> m_alertMailer;
};

extern TForm1* Form1;

// The address of the product's page, opened by the web command and by a click on an update notice.
std::string ProductPageUrl();
// The host the update check asks, or nothing when CORVANE_UPDATE_HOST is set empty.
std::optional<std::string> UpdateHost();
