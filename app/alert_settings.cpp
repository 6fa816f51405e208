#include "app/alert_settings.h"

#include <algorithm>

namespace {

std::string mailEntry(const TSettingsFile& settings, const char* key, const char* placeholder)
{
    std::string value = settings.ReadString("Mail", key, std::string());
    return value == placeholder ? std::string() : value;
}

bool switchedOn(const TSettingsFile& settings, const char* key)
{
    return settings.ReadInteger("Alerts", key, 1) != 0;
}

} // namespace

TAlertSettings ReadAlertSettings(const TSettingsFile& settings)
{
    TAlertSettings alerts;
    alerts.DownAfter = std::clamp(settings.ReadInteger("Alerts", "DownAfter", alerts.DownAfter),
                                  TAlertSettings::MinDownAfter, TAlertSettings::MaxDownAfter);
    alerts.Notices = switchedOn(settings, "Notices");
    alerts.Mail = switchedOn(settings, "Mail");
    alerts.MailHost = mailEntry(settings, "host", FirstStartMailHost);
    alerts.MailPort = mailEntry(settings, "port", FirstStartMailPort);
    alerts.MailUserName = mailEntry(settings, "username", FirstStartMailUserName);
    alerts.MailPassword = mailEntry(settings, "pwd", FirstStartMailPassword);
    alerts.MailTo = settings.ReadString("Mail", "to", std::string());
    if (alerts.MailTo.empty())
        alerts.MailTo = alerts.MailUserName;
    return alerts;
}
