// The settings of the alerts on a change of state: how many failing rounds make a host down, the notices,
// and the mail server the alert mails go through. Read afresh for every round; nothing is written.
#pragma once

#include "app/settings_file.h"

#include <string>

struct TAlertSettings
{
    static constexpr int MinDownAfter = 1;
    static constexpr int MaxDownAfter = 1000;

    int DownAfter = 2; // [Alerts] DownAfter
    bool Notices = true; // [Alerts] Notices
    bool Mail = true; // [Alerts] Mail
    // [Mail]; a value still holding the first start's placeholder reads as empty.
    std::string MailHost;
    std::string MailPort;
    std::string MailUserName;
    std::string MailPassword;
    std::string MailTo; // the user name when absent or empty

    // Mails go out when they are on and a server is named.
    bool SendsMail() const { return Mail && !MailHost.empty(); }
};

TAlertSettings ReadAlertSettings(const TSettingsFile& settings);
