// The pinger: sends a resource's echo requests one after another and shows the outcome in the resource list.
#pragma once

#include "icmp/icmp_client.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TSpinEdit;

class TfrmPing final : public QDialog
{
public:
    TfrmPing();
    ~TfrmPing() override;

    // One run: the echo requests of spnPing to edtHost. Never lets an error out.
    void btnPingClick();
    void ICMPReply(TIcmpClient& ASender, const TReplyStatus& AReplyStatus);

    QWidget* Panel1;
    QLineEdit* edtHost;
    QPushButton* btnPing;
    QLabel* Label1;
    TSpinEdit* spnPing;
    QListWidget* lstReplies;
    TIcmpClient ICMP;

private:
    void setStatus(int imageIndex);
    void soundAlarm();
};

// The start-up pinger; it is never run, but its echo client keeps the socket stack alive for the whole run.
extern TfrmPing* frmPing;
