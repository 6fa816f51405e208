#include "app/form1.h"

#include "app/alert_mailer.h"
#include "app/alert_notices.h"
#include "app/alert_settings.h"
#include "app/application.h"
#include "app/byte_text.h"
#include "app/chrome_look.h"
#include "app/echo_run.h"
#include "app/form_checkupdate_interno.h"
#include "app/form_edit.h"
#include "app/form_opz.h"
#include "app/form_res.h"
#include "app/form_storage_qt.h"
#include "app/frm_ping.h"
#include "app/latency_figures.h"
#include "app/qt_event_loop.h"
#include "app/resource_store.h"
#include "app/round_runner.h"
#include "app/settings_file.h"
#include "icmp/echo_engine.h"
#include "icmp/name_resolver.h"
#include "platform/file_errors.h"
#include "platform/int_conversion.h"
#include "platform/program_folder.h"
#include "platform/shell_open.h"
#include "probes/check_target.h"
#include "probes/tcp_probe.h"
#include "probes/tcp_run.h"
#include "ui/form_style.h"
#include "ui/image.h"
#include "ui/image_list_box.h"
#include "ui/keyed_picture.h"
#include "ui/labeled_edit.h"
#include "ui/latency_tip.h"
#include "ui/message_box.h"
#include "ui/spin_edit.h"
#include "ui/tool_window.h"
#include "ui/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <sys/stat.h>

TForm1* Form1 = nullptr;

namespace {

// The maker's web site: the product page and the update page live there.
constexpr const char* MakerHost = "corvane.example.org";

} // namespace

std::string ProductPageUrl()
{
    return std::string("https://") + MakerHost + "/corvane.php";
}

std::optional<std::string> UpdateHost()
{
    // Packagers, tests and users point the check at another server; set but empty, it turns the check off.
    if (const char* host = std::getenv("CORVANE_UPDATE_HOST"))
        return *host ? std::optional<std::string>(host) : std::nullopt;
    return MakerHost;
}

namespace {

constexpr int ClientWidth = 156;
constexpr int ClientHeight = 347;
const QRect BubbleRect(0, 0, 156, 201);
const QRect DogRect(0, 201, 156, 146);

bool fileExists(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

TForm1::TForm1()
    : ImageStatus(16, 16)
    , AppIniFileStorage1(ProgramFolder() + "corvane.inf")
    , FormStorage1(AppIniFileStorage1, std::make_unique<TWidgetPlacementTarget>(this))
{
    setObjectName(QStringLiteral("Form1"));
    // The caption is never drawn, but the window manager's switcher and taskbar list the gadget by it.
    setWindowTitle(QStringLiteral("Corvane"));
    // A borderless picture above normal windows that still has its own taskbar entry.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);
    move(595, 251);
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, KeyColor);
    setPalette(yellow);
    setAutoFillBackground(true);

    for (const char* name : {"idle", "up", "error", "busy", "spare", "emblem"})
        ImageStatus.AddSvg(QStringLiteral(":/status-%1.svg").arg(QLatin1String(name)));

    Image2 = new TImage(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(BubbleRect);
    Image1 = new TImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(DogRect);
    Image1->setToolTip(QStringLiteral("Corvane - Attivo"));
    Image1->OnMouseDown = [this](Qt::MouseButton button, QPoint at) { Image1MouseDown(button, at); };
    Image1->OnMouseMove = [this](QPoint at) { Image1MouseMove(at); };
    Image1->OnMouseUp = [this](Qt::MouseButton button, QPoint at) { Image1MouseUp(button, at); };

    Label1 = new QLabel(QStringLiteral("Lista processi"), this);
    // Sized to its caption, whatever the desktop's font makes of it.
    Label1->move(40, 24);
    Label1->adjustSize();
    // 13 pixels high unless the font's descenders need more.
    Label1->resize(Label1->width(), std::max(13, Label1->sizeHint().height()));
    Label1->setAutoFillBackground(true);
    QPalette grey = Label1->palette();
    grey.setColor(QPalette::Window, palette().color(QPalette::Button));
    grey.setColor(QPalette::WindowText, palette().color(QPalette::ButtonText));
    Label1->setPalette(grey);

    listaproc = new TImageListBox(this);
    listaproc->setObjectName(QStringLiteral("listaproc"));
    // The desktop's colours, not the window's key colour, for the list and its scroll bar: every role is
    // marked as set, or the roles would still be inherited from this window's yellow.
    QPalette desktop = QApplication::palette();
    desktop.setResolveMask(~QPalette::ResolveMask(0));
    listaproc->setPalette(desktop);
    listaproc->setGeometry(16, 40, 121, 81);
    listaproc->SetImages(&ImageStatus);
    listaproc->SetItemHeight(17);
    listaproc->OnDblClick = [this] { Modificarisorsa1Click(); };
    m_latencyTip = new TLatencyTip(this);
    listaproc->OnRowTip = [this](int row, const QRect& area) { showRowTip(row, area); };

    Timer1 = new TTimer(this);
    Timer1->SetInterval(20000);
    Timer1->OnTimer = [this] { Timer1Timer(); };

    // Nothing of this opens a socket or starts a thread before the first round.
    m_loop = std::make_unique<TQtEventLoop>();
    m_resolver = std::make_unique<TNameResolver>(*m_loop);
    m_engine = std::make_unique<TEchoEngine>(*m_loop);
    m_tcp = std::make_unique<TTcpProbe>(*m_loop);
    m_sequences = std::make_unique<TSequenceSource>();
    m_round = std::make_unique<TRoundRunner>(*m_loop, [this](const TRoundEntry& entry) { return makeRun(entry); });
    m_round->OnRunStarted = [this](int index) { runStarted(index); };
    m_round->OnExchange = [this](int index, bool answered) { exchanged(index, answered); };
    m_round->OnRunEnded
        = [this](int index, const TRoundEntry& entry, const TRoundResult& round) { runEnded(index, entry, round); };
    m_round->OnRoundEnded = [this] { roundEnded(); };

    buildMenus();
    listaproc->SetPopupMenu(BarPopupMenu2);
    // The tray's menu can open while the pointer rests on a row; a tip must not stay over it.
    for (QMenu* menu : {static_cast<QMenu*>(BarPopupMenu1), static_cast<QMenu*>(BarPopupMenu2)})
        connect(menu, &QMenu::aboutToShow, listaproc, &TImageListBox::EndRowTip);

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->SetIcons(&ImageStatus, 5);
    TrayIcon1->SetHint(QStringLiteral("Corvane"));
    TrayIcon1->SetPopupMenu(BarPopupMenu1);
    TrayIcon1->SetActive(true);

    SetUpAboutBox(about, QString::fromStdString(ProductPageUrl()));
    about.OnCustomClick = [this] { aboutCustomClick(); };

    m_alertNotices = std::make_unique<TAlertNotices>(*this);
    m_alertNotices->OnClick = [this] {
        setVisible(true);
        raise();
        activateWindow();
    };
    m_alertMailer = std::make_unique<TAlertMailer>(std::make_unique<TSmtpTransport>(
        [] { QCoreApplication::processEvents(); }, [this] { return m_closed || m_closeRequested; }));
    m_alertMailer->OnFailureNotice = [this](const std::string& reason) { m_alertNotices->ShowMailFailure(reason); };

    m_placementTarget = static_cast<TWidgetPlacementTarget*>(&FormStorage1.target());
    // Only the dog starts a drag: a saved place must leave enough of it on a screen to grab.
    m_placementTarget->SetGrip(DogRect);
    MessageBox::SetOwner(this);
    renderArtwork();
}

TForm1::~TForm1()
{
    // The list hides with its parent's children, after this object is gone; its tip must not reach back.
    listaproc->OnRowTip = nullptr;
    // A round's runs hold on to the engine and the resolver; they go first.
    m_round.reset();
    m_tcp.reset();
    m_engine.reset();
    m_resolver.reset();
    MessageBox::SetOwner(nullptr);
}

void TForm1::buildMenus()
{
    // Commands run once the menu has closed and control is back in the event loop,
    // so what they raise reaches the error box and the menu is never left half-open.
    auto command = [this](QMenu* menu, const QString& caption, const char* name, void (TForm1::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        if (handler)
            connect(
                action, &QAction::triggered, this, [this, handler] { RunCommand(handler); }, Qt::QueuedConnection);
        return action;
    };

    BarPopupMenu1 = new TBarPopupMenu(this);
    BarPopupMenu1->setObjectName(QStringLiteral("BarPopupMenu1"));
    SetUpProgramBanner(*BarPopupMenu1);
    // A submenu is a level of its menu, drawn by it without the banner.
    auto* risorse = new QMenu(QStringLiteral("Risorse"), BarPopupMenu1);
    Risorse1 = BarPopupMenu1->addMenu(risorse);
    Risorse1->setObjectName(QStringLiteral("Risorse1"));
    // These carry the same commands as the list's menu: a user expects "Aggiungi" to add.
    Aggiungirisorsa2
        = command(risorse, QStringLiteral("&Aggiungi risorsa"), "Aggiungirisorsa2", &TForm1::Aggiungirisorsa1Click);
    Modificarisorsa2
        = command(risorse, QStringLiteral("&Modifica risorsa"), "Modificarisorsa2", &TForm1::Modificarisorsa1Click);
    Processi1 = command(risorse, QStringLiteral("Visualizza/Nascondi"), "Processi1", &TForm1::Processi1Click);
    risorse->addSeparator()->setObjectName(QStringLiteral("N4"));
    Eliminarisorsa2
        = command(risorse, QStringLiteral("&Elimina risorsa"), "Eliminarisorsa2", &TForm1::Eliminarisorsa1Click);
    initping1 = command(BarPopupMenu1, QStringLiteral("Avvia i &processi immediatamente"), "initping1",
                        &TForm1::initping1Click);
    procupdate1 = command(BarPopupMenu1, QStringLiteral("proc_update"), "procupdate1", &TForm1::procupdate1Click);
    procupdate1->setVisible(false);
    Opzioni1 = command(BarPopupMenu1, QStringLiteral("&Impostazioni"), "Opzioni1", &TForm1::Opzioni1Click);
    BarPopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    dd1 = command(BarPopupMenu1, QStringLiteral("Ve&rifica aggiornamenti"), "dd1", &TForm1::dd1Click);
    ff1 = command(BarPopupMenu1, QStringLiteral("Visita sito &web"), "ff1", &TForm1::ff1Click);
    About1 = command(BarPopupMenu1, QStringLiteral("In&formazioni"), "About1", &TForm1::About1Click);
    BarPopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
    VisualizzaNascondi1 = command(BarPopupMenu1, QStringLiteral("&Visualizza/Nascondi"), "VisualizzaNascondi1",
                                  &TForm1::VisualizzaNascondi1Click);
    gg1 = command(BarPopupMenu1, QStringLiteral("&Esci"), "gg1", &TForm1::gg1Click);

    BarPopupMenu2 = new TBarPopupMenu(this);
    BarPopupMenu2->setObjectName(QStringLiteral("BarPopupMenu2"));
    SetUpProgramBanner(*BarPopupMenu2);
    Aggiungirisorsa1 = command(BarPopupMenu2, QStringLiteral("&Aggiungi risorsa"), "Aggiungirisorsa1",
                               &TForm1::Aggiungirisorsa1Click);
    Modificarisorsa1 = command(BarPopupMenu2, QStringLiteral("&Modifica risorsa"), "Modificarisorsa1",
                               &TForm1::Modificarisorsa1Click);
    BarPopupMenu2->addSeparator()->setObjectName(QStringLiteral("N3"));
    Eliminarisorsa1
        = command(BarPopupMenu2, QStringLiteral("&Elimina risorsa"), "Eliminarisorsa1", &TForm1::Eliminarisorsa1Click);
}

void TForm1::renderArtwork()
{
    const qreal scale = windowHandle() ? windowHandle()->devicePixelRatio() : devicePixelRatioF();
    if (scale == m_artworkScale)
        return;
    m_artworkScale = scale;
    Image2->SetPicture(RenderKeyedPicture(QStringLiteral(":/bubble.svg"), BubbleRect.size(), scale));
    Image1->SetPicture(RenderKeyedPicture(QStringLiteral(":/dog.svg"), DogRect.size(), scale));
    updateShape();
}

void TForm1::updateShape()
{
    // The shape follows what is shown: with the bubble hidden only the dog is left on the desktop.
    QImage composed(QSize(ClientWidth, ClientHeight) * m_artworkScale, QImage::Format_RGB32);
    composed.setDevicePixelRatio(m_artworkScale);
    composed.fill(KeyColor);
    {
        QPainter painter(&composed);
        if (Image2->isVisibleTo(this))
            painter.drawImage(BubbleRect, Image2->Picture());
        painter.drawImage(DogRect, Image1->Picture());
    }
    setMask(OpaqueRegion(composed));
}

void TForm1::setVisible(bool visible)
{
    // The saved placement goes on before the window is shown: moved while it is being mapped, the
    // window can end where the window manager put it while the toolkit still reports the frame's
    // corner, and a drag or a save would start from there.
    if (visible && isHidden())
        m_placementTarget->BeforeShow();
    QWidget::setVisible(visible);
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    renderArtwork();
}

void TForm1::FormCreate()
{
    const std::string path = SettingsPath();
    if (!fileExists(path)) {
        TSettingsFile first(path);
        WriteFirstStartSettings(first);
    }
    const TSettingsFile ini(path);
    Timer1->SetInterval(TimerIntervalMs(ini.ReadInteger("Check", "TimeCheck", 20)));
    Timer1->SetEnabled(true);
}

void TForm1::StartupFinished()
{
    m_startupFinished = true;
    if (form_checkupdate_interno)
        m_alertNotices->StackWith(*form_checkupdate_interno->traypopup);
    // The first tick may come while start-up still dispatches events; its cycle waits until
    // every window exists and then runs from the event loop.
    if (m_tickDeferred) {
        m_tickDeferred = false;
        QTimer::singleShot(0, this, [this] { Timer1Timer(); });
    }
    if (m_closeRequested) {
        m_closeRequested = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void TForm1::RunCommand(void (TForm1::*command)())
{
    // The tray icon's menu is live while start-up still creates windows and dispatches events; until
    // every window exists a command is refused, except the close, which closeEvent keeps for later.
    if (!m_startupFinished && command != &TForm1::gg1Click)
        return;
    (this->*command)();
}

void TForm1::Timer1Timer()
{
    // A round run from inside an alert mail's waits would hold the mail's conversation with its server up
    // for the whole round; the round waits for the mail instead, at most its time limit.
    if (!m_startupFinished || m_alertMailer->Sending()) {
        m_tickDeferred = true;
        return;
    }
    initping1Click();
}

void TForm1::procupdate1Click()
{
    TFileListing& listing = Form_res->listapings;
    listing.SetDirectory(ResourceFolder());
    listing.Update();
    TImageItems& items = listaproc->Items();
    // The same files as before keep their rows: rebuilding thousands of them every round would hold the
    // gadget up, and the row the user selected stays selected.
    if (listing.Items() != m_listed || items.Count() != listing.Count()) {
        std::vector<QString> texts;
        texts.reserve(listing.Items().size());
        for (const std::string& name : listing.Items())
            texts.push_back(TextFromBytes(name));
        items.Assign(texts);
        m_listed = listing.Items();
    }
    for (int i = 0; i < items.Count(); ++i)
        items[i].SetImageIndex(0);
}

void TForm1::setCycleRunning(bool running)
{
    m_cycleRunning = running;
    // While a cycle pings by position, nothing may start another cycle or rebuild the list under it;
    // the commands that would are greyed out until it ends.
    for (QAction* action : {initping1, Eliminarisorsa1, Eliminarisorsa2})
        action->setEnabled(!running);
}

void TForm1::initping1Click()
{
    try {
        runCycle();
    } catch (const std::exception& error) {
        if (!MessageBox::ErrorBoxOpen())
            ReportException(error);
    }
}

void TForm1::runCycle()
{
    if (m_cycleRunning)
        return;
    Timer1->SetEnabled(false);
    try {
        procupdate1Click();
    } catch (...) {
        // A folder that was briefly away must not end monitoring for good.
        Timer1->SetEnabled(true);
        throw;
    }
    const TSettingsFile settings(SettingsPath());
    const bool parallel = settings.ReadInteger("Check", "Parallel", 0) == 1;
    m_states.BeginRound(Form_res->listapings.Items(), ReadAlertSettings(settings).DownAfter);
    setCycleRunning(true);
    m_alarmThisRound = false;
    m_round->Start(Form_res->listapings.Count(), parallel, [this](int index) { return loadResource(index); });
}

std::unique_ptr<TResourceRun> TForm1::makeRun(const TRoundEntry& entry)
{
    TCheckTarget target;
    ParseCheckTarget(entry.Host, target);
    switch (target.Kind) {
    case TCheckTarget::TKind::Tcp:
        return std::make_unique<TTcpRun>(*m_resolver, *m_tcp, target.Host, target.Port, entry.Count);
    case TCheckTarget::TKind::Http:
    case TCheckTarget::TKind::Echo:
        break;
    }
    return std::make_unique<TEchoRun>(*m_resolver, *m_engine, *m_sequences, entry.Host, entry.Count);
}

TRoundEntry TForm1::loadResource(int index)
{
    TRoundEntry entry;
    entry.Name = Form_res->listapings.Item(index);
    try {
        // Read and taken at once: nothing else uses the scratch buffer in between.
        TTextBuffer& buffer = Form_res->Memoload;
        buffer.Clear();
        LoadResourceFile(buffer, entry.Name);
        entry.Host = buffer.Line(0);
        entry.Count = std::clamp(StrToInt(buffer.Line(1)), 1, 40);
    } catch (const std::exception& error) {
        entry.Error = error.what();
        return entry;
    }
    TCheckTarget target;
    if (const TCheckError bad = ParseCheckTarget(entry.Host, target); bad != TCheckError::None)
        entry.Error = CheckErrorText(bad);
    return entry;
}

void TForm1::runStarted(int index)
{
    listaproc->Items()[index].SetImageIndex(3);
}

void TForm1::exchanged(int index, bool answered)
{
    // A resource is up when it answered at least one request of its run: a time-out, an unreachable
    // host or an expired TTL is no answer and must not show green.
    if (answered)
        listaproc->Items()[index].SetImageIndex(1);
}

void TForm1::runEnded(int index, const TRoundEntry& entry, const TRoundResult& round)
{
    // An error ends a run red even after answers: the host could not be pinged to the end.
    if (!round.Error.empty() || !round.Up()) {
        listaproc->Items()[index].SetImageIndex(2);
        // One after another, each failing resource barks; all at once, the round barks once.
        if (!m_round->Parallel() || !m_alarmThisRound)
            soundAlarm();
        m_alarmThisRound = true;
    }
    if (!entry.Error.empty())
        tellUnreadable(entry);
    else
        m_toldUnreadable.erase(entry.Name);
    m_states.Record(entry.Name, entry.Host, round, TWallClock::now());
    listaproc->RefreshRowTip();
}

void TForm1::roundEnded()
{
    setCycleRunning(false);
    // The countdown restarts here: the next round begins one full interval after this one ended.
    Timer1->SetEnabled(true);
    QTimer::singleShot(0, this, [this] { reportChanges(); });
}

void TForm1::tellUnreadable(const TRoundEntry& entry)
{
    struct stat st
    {
    };
    const std::string stamp = ::stat(ResourcePath(entry.Name).c_str(), &st) == 0 ? std::to_string(st.st_mtim.tv_sec)
            + "." + std::to_string(st.st_mtim.tv_nsec) + "/" + std::to_string(st.st_size)
                                                                                 : std::string("-");
    std::string& told = m_toldUnreadable[entry.Name];
    const std::string now = stamp + "\n" + entry.Error;
    if (told == now)
        return;
    told = now;
    // Shown from the loop, not from inside the round's report of the run.
    QTimer::singleShot(0, this, [this, error = entry.Error] {
        if (!m_closed && !MessageBox::ErrorBoxOpen())
            ReportException(Exception(error));
    });
}

void TForm1::soundAlarm()
{
    waveplayer.SetFileName(ProgramFolder() + "dog.wav");
    waveplayer.Play();
}

void TForm1::showRowTip(int row, const QRect& area)
{
    if (row < 0 || !Form_res || row >= Form_res->listapings.Count()) {
        m_latencyTip->hide();
        return;
    }
    const std::string& name = Form_res->listapings.Item(row);
    m_latencyTip->ShowBeside(area, LatencyFigures(name, m_states.Find(name)));
}

void TForm1::reportChanges()
{
    const std::vector<TStateChange> changes = m_states.TakeChanges();
    if (changes.empty() || m_closed || m_closeRequested)
        return;
    const TAlertSettings alerts = ReadAlertSettings(TSettingsFile(SettingsPath()));
    if (alerts.Notices)
        m_alertNotices->ShowChanges(changes);
    if (alerts.SendsMail())
        m_alertMailer->Send(alerts, changes);
    if (m_tickDeferred && !m_alertMailer->Sending() && !m_closed) {
        m_tickDeferred = false;
        QTimer::singleShot(0, this, [this] { Timer1Timer(); });
    }
}

void TForm1::Aggiungirisorsa1Click()
{
    Form_edit->setWindowTitle(QStringLiteral("Corvane - Aggiungi risorsa"));
    Form_edit->nomefile->setText(QStringLiteral("Nuova risorsa.cvr"));
    ShowToolWindow(Form_edit, this, Form_edit->nomefile);
}

void TForm1::Modificarisorsa1Click()
{
    Form_edit->setWindowTitle(QStringLiteral("Corvane - Modifica risorsa"));
    const std::string& name = Form_res->listapings.Item(listaproc->ItemIndex());
    Form_edit->nomefile->setText(TextFromBytes(name));
    TTextBuffer& buffer = Form_res->Memoload;
    LoadResourceFile(buffer, name);
    Form_edit->edtHost->setText(TextFromBytes(buffer.Line(0)));
    Form_edit->edtHost->setCursorPosition(0);
    Form_edit->spnPing->SetValue(StrToInt(buffer.Line(1)));
    ShowToolWindow(Form_edit, this, Form_edit->nomefile);
}

void TForm1::Eliminarisorsa1Click()
{
    if (m_cycleRunning)
        return;
    DeleteResourceFile(Form_res->listapings.Item(listaproc->ItemIndex()));
    procupdate1Click();
}

void TForm1::Processi1Click()
{
    Label1->setVisible(!Label1->isVisibleTo(this));
    Image2->setVisible(!Image2->isVisibleTo(this));
    listaproc->setVisible(!listaproc->isVisibleTo(this));
    updateShape();
}

void TForm1::VisualizzaNascondi1Click()
{
    // Hidden, the gadget comes back only through the tray icon's menu; without a notification area
    // (asked each time: a panel may start or stop at any moment) it stays where the user can reach it.
    if (isVisible() && !QSystemTrayIcon::isSystemTrayAvailable()) {
        MessageBox::ShowInformation(
            this,
            QStringLiteral("Il desktop non ha un'area di notifica: senza l'icona di Corvane la finestra "
                           "nascosta non si potrebbe più riaprire, perciò resta visibile."));
        return;
    }
    setVisible(!isVisible());
}

void TForm1::Opzioni1Click()
{
    ShowToolWindow(Form_opz, this, Form_opz->LabeledEdit1);
}

void TForm1::dd1Click()
{
    if (form_checkupdate_interno)
        form_checkupdate_interno->btn_UpdateClick();
}

void TForm1::ff1Click()
{
    ShellOpener().Open(ProductPageUrl());
}

void TForm1::About1Click()
{
    about.Execute(this);
}

void TForm1::aboutCustomClick()
{
    ff1Click();
}

void TForm1::gg1Click()
{
    close();
}

void TForm1::Image1MouseDown(Qt::MouseButton, QPoint position)
{
    m_dragging = true;
    m_dragOrigin = position;
}

void TForm1::Image1MouseMove(QPoint position)
{
    if (!m_dragging)
        return;
    // W is the width of the screen's available area; H + C, a full-screen client area plus a caption,
    // is its available height: H is that height less the style's title-bar height C.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int C = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int W = available.width();
    const int H = available.height() - C;
    // The window's position as the pointer finds it: the toolkit's own record of it can lag behind
    // what the window manager did.
    const QPoint pointer = QCursor::pos();
    const int left = pointer.x() - Image1->x() - position.x();
    const int top = pointer.y() - Image1->y() - position.y();
    int L = left + position.x() - m_dragOrigin.x();
    int T = top + position.y() - m_dragOrigin.y();
    if (L < 0)
        L = 0;
    if (L > W - width())
        L = W - width();
    if (T < 0)
        T = 0;
    if (T > H + C - height())
        T = H + C - height();
    move(L, y());
    move(L, T);
}

void TForm1::Image1MouseUp(Qt::MouseButton, QPoint)
{
    m_dragging = false;
}

void TForm1::mousePressEvent(QMouseEvent* event)
{
    // Taken so that the release of a right click on the bubble comes back here.
    event->setAccepted(event->button() == Qt::RightButton);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event)
{
    // The menu opens when the right button is released, so the press and release of a right click
    // both reach the dog first and leave the window where it was.
    if (event->button() == Qt::RightButton)
        BarPopupMenu1->popup(event->globalPosition().toPoint());
    QWidget::mouseReleaseEvent(event);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse)
        return; // handled on release
    BarPopupMenu1->popup(event->globalPos());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A close during start-up waits for its end: the update check's nested dispatch would lose the end
    // of the event loop, and start-up would show the window again.
    if (!m_startupFinished) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    // A round stops at the hosts being pinged; nothing of it is on the stack, so the close goes on at once.
    if (m_cycleRunning) {
        m_round->Stop();
        setCycleRunning(false);
    }
    event->accept();
    m_closed = true;
    QCoreApplication::quit();
}
