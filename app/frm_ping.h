// The pinger: sends a resource's echo requests one after another and shows the outcome in the resource list.
#pragma once

#include "app/resource_states.h"
#include "icmp/icmp_client.h"
#include "ui/spin_edit.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The pinger's host field. A cycle makes hundreds of pingers that are never shown, so a field holds its
// text itself and the edit box that shows it exists only while the pinger's window does.
class TPingerHostField final
{
public:
    QString text() const { return m_text; }
    void setText(const QString& text);

private:
    friend class TfrmPing;
    QString m_text = QStringLiteral("localhost");
    QPointer<QLineEdit> m_view;
};

// The pinger's count field, with the spin field's rules: 1 to 40, a text that is no integer reads as 1.
class TPingerCountField final
{
public:
    int Value() const { return Range.Read(m_text); }
    void SetValue(int value) { SetText(QString::number(Range.Clamp(value))); }
    QString Text() const { return m_text; }
    void SetText(const QString& text);

    const TSpinRange Range {1, 40};

private:
    friend class TfrmPing;
    QString m_text = QStringLiteral("4");
    QPointer<TSpinEdit> m_view;
};

class TfrmPing final : public QDialog
{
public:
    TfrmPing();
    ~TfrmPing() override;

    // One run: the echo requests of spnPing to edtHost. Never lets an error out. Pending events are
    // dispatched before the first request, after every echo and while each one waits; a run broken off
    // because the program is closing sets no status and sounds no alarm.
    void btnPingClick();
    // Whether the last run was broken off because the program is closing.
    bool Abandoned() const { return m_abandoned; }
    // What the last run came to: its answers, round-trip times, error and the address it resolved to.
    const TRoundResult& Round() const { return m_round; }
    void ICMPReply(TIcmpClient& ASender, const TReplyStatus& AReplyStatus);

    TPingerHostField edtHost;
    TPingerCountField spnPing;
    TIcmpClient ICMP;

    // The window's controls, built the first time it is shown; null before.
    QWidget* Panel1 = nullptr;
    QPushButton* btnPing = nullptr;
    QLabel* Label1 = nullptr;
    QListWidget* lstReplies = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildWindow();
    void dispatchPending();
    void setStatus(int imageIndex);
    void soundAlarm();

    bool m_abandoned = false;
    TRoundResult m_round;
};

// The start-up pinger; it is never run, but its echo client keeps the socket stack alive for the whole run.
extern TfrmPing* frmPing;
