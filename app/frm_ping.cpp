#include "app/frm_ping.h"

#include "app/byte_text.h"
#include "app/form1.h"
#include "icmp/reply_status.h"
#include "platform/program_folder.h"
#include "ui/form_style.h"
#include "ui/image_list_box.h"
#include "ui/spin_edit.h"

#include <QAbstractEventDispatcher>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

TfrmPing* frmPing = nullptr;

namespace {

// Thrown from the wait hook to break a run off; it never leaves the pinger.
struct TRunAbandoned
{
};

} // namespace

void TPingerHostField::setText(const QString& text)
{
    m_text = text;
    if (m_view && m_view->text() != text)
        m_view->setText(text);
}

void TPingerCountField::SetText(const QString& text)
{
    m_text = text;
    if (m_view && m_view->Text() != text)
        m_view->SetText(text);
}

TfrmPing::TfrmPing()
{
    setObjectName(QStringLiteral("frmPing"));
    setWindowTitle(QStringLiteral("Ping"));
    setFixedSize(411, 224);
    ICMP.SetReceiveTimeout(1000);
}

TfrmPing::~TfrmPing() = default;

void TfrmPing::showEvent(QShowEvent* event)
{
    buildWindow();
    QDialog::showEvent(event);
}

void TfrmPing::buildWindow()
{
    if (Panel1)
        return;
    setFont(FormFont());
    Panel1 = new QWidget(this);
    Panel1->setGeometry(0, 0, 411, 33);
    auto* host = new QLineEdit(edtHost.m_text, Panel1);
    host->setGeometry(4, 4, 221, 21);
    edtHost.m_view = host;
    connect(host, &QLineEdit::textChanged, this, [this](const QString& text) { edtHost.m_text = text; });
    btnPing = new QPushButton(QStringLiteral("&Ping"), Panel1);
    btnPing->setGeometry(232, 3, 75, 25);
    btnPing->setDefault(true);
    connect(btnPing, &QPushButton::clicked, this, [this] { btnPingClick(); });
    Label1 = new QLabel(QStringLiteral("Pings:"), Panel1);
    Label1->move(312, 8);
    Label1->adjustSize();
    auto* count = new TSpinEdit(Panel1);
    count->setGeometry(344, 5, 57, 22);
    count->SetRange(spnPing.Range.MinValue, spnPing.Range.MaxValue);
    count->SetText(spnPing.m_text);
    spnPing.m_view = count;
    count->OnChange = [this](const QString& text) { spnPing.m_text = text; };
    lstReplies = new QListWidget(this);
    lstReplies->setGeometry(0, 33, 411, 224 - 33);
}

void TfrmPing::btnPingClick()
{
    ICMP.OnReply = [this](TIcmpClient& sender, const TReplyStatus& status) { ICMPReply(sender, status); };
    ICMP.OnWait = [this] { dispatchPending(); };
    ICMP.SetReceiveTimeout(1000);
    if (btnPing)
        btnPing->setEnabled(false);
    ICMP.SetHost(BytesFromText(edtHost.text()));

    // A resource is up when it answered at least one request of this run: a time-out,
    // an unreachable host or an expired TTL is no answer and must not show green.
    bool answered = false;
    bool failed = false;
    m_abandoned = false;
    m_round = TRoundResult();
    try {
        const int count = spnPing.Value();
        // The hourglass the cycle has just set reaches the screen before the first request leaves.
        dispatchPending();
        for (int i = 0; i < count; ++i) {
            ICMP.Ping(std::string(), 0);
            m_round.Add(ICMP.ReplyStatus());
            dispatchPending();
            if (ICMP.ReplyStatus().Outcome == roEchoReply) {
                answered = true;
                setStatus(1);
            }
        }
    } catch (const TRunAbandoned&) {
        m_abandoned = true;
    } catch (const std::exception& error) {
        // The error's text is not shown: the red status and the alarm are the report. Alerts quote it.
        failed = true;
        m_round.Error = error.what();
    } catch (...) {
        failed = true;
    }
    m_round.Address = ICMP.DestinationText();
    if (!m_abandoned && (failed || !answered)) {
        setStatus(2);
        soundAlarm();
    }
    if (btnPing)
        btnPing->setEnabled(true);
}

void TfrmPing::dispatchPending()
{
    // A few passes rather than one: what one event sets off (a timer's posted event, the next step of a
    // menu opening) is handled now, not a wait slice later. A fixed number of them, so that a source that
    // is always ready cannot hold the echo up.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    for (int pass = 0; pass < 3 && dispatcher && dispatcher->processEvents(QEventLoop::AllEvents); ++pass) { }
    // A close asked for meanwhile waits for the cycle, so the cycle must not keep it waiting.
    if (Form1 && Form1->ClosePending())
        throw TRunAbandoned();
}

void TfrmPing::ICMPReply(TIcmpClient&, const TReplyStatus& AReplyStatus)
{
    // Nobody looks at a hidden pinger's lines; the list is kept only once it has been on screen.
    if (lstReplies)
        lstReplies->addItem(QString::fromStdString(FormatReplyLine(AReplyStatus)));
}

void TfrmPing::setStatus(int imageIndex)
{
    if (!Form1)
        return;
    TImageItems& items = Form1->listaproc->Items();
    // The list is not rebuilt while a cycle runs, but a stale position must never end the run.
    if (ICMP.Tag() >= 0 && ICMP.Tag() < items.Count())
        items[ICMP.Tag()].SetImageIndex(imageIndex);
}

void TfrmPing::soundAlarm()
{
    if (!Form1)
        return;
    Form1->waveplayer.SetFileName(ProgramFolder() + "dog.wav");
    Form1->waveplayer.Play();
}
