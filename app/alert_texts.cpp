#include "app/alert_texts.h"

#include "app/mail_message.h"
#include "platform/text_locale.h"

#include <QCoreApplication>
#include <QDateTime>

#include <chrono>
#include <ctime>
#include <strings.h>

namespace {

// Engine messages carry line breaks of their own; a mail line or a notice line keeps one line.
std::string oneLine(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return CleanText(out);
}

std::string localText(TWallClock::time_point at, const char* format)
{
    const std::time_t seconds = TWallClock::to_time_t(at);
    std::tm local {};
    localtime_r(&seconds, &local);
    char text[32];
    return std::strftime(text, sizeof text, format, &local) ? text : "";
}

// A phrase with a time (and a day) in it, in the program's language.
std::string timed(const char* phrase, const std::string& clock, const QString& day = QString())
{
    const QString text = QCoreApplication::translate("AlertTexts", phrase).arg(QString::fromStdString(clock));
    return (day.isNull() ? text : text.arg(day)).toStdString();
}

QString dayText(TWallClock::time_point at)
{
    return DateText(QDateTime::fromMSecsSinceEpoch(
                        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count())
                        .date());
}

std::string counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

} // namespace

std::string AlertResourceName(const std::string& fileName)
{
    std::string name = fileName;
    if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".cvr") == 0)
        name.resize(name.size() - 4);
    return CleanText(name);
}

std::string AlertResourceLabel(const TStateChange& change)
{
    const std::string name = AlertResourceName(change.Name);
    const std::string host = oneLine(change.Host);
    return host.empty() || host == name ? name : name + " (" + host + ")";
}

std::string StateWords(THostState state)
{
    return state == THostState::Up ? "risponde di nuovo" : "non risponde";
}

std::string LocalClockText(TWallClock::time_point at, bool seconds)
{
    return localText(at, seconds ? "%H:%M:%S" : "%H:%M");
}

std::string AlertNoticeText(const std::vector<TStateChange>& changes)
{
    if (changes.empty())
        return {};
    if (changes.size() == 1) {
        const TStateChange& change = changes.front();
        return AlertResourceLabel(change) + "\r\n" + StateWords(change.State) + ' '
            + timed(QT_TRANSLATE_NOOP("AlertTexts", "(ore %1)"), LocalClockText(change.At));
    }
    std::string text = timed(QT_TRANSLATE_NOOP("AlertTexts", "Ore %1"), LocalClockText(changes.back().At));
    const size_t listed = changes.size() <= NoticeEntries ? changes.size() : NoticeEntries - 1;
    for (size_t i = 0; i < listed; ++i)
        text += "\r\n" + AlertResourceLabel(changes[i]) + ": " + StateWords(changes[i].State);
    if (listed < changes.size())
        text += "\r\ne altre " + std::to_string(changes.size() - listed) + " risorse";
    return text;
}

std::string AlertMailSubject(const std::vector<TStateChange>& changes)
{
    if (changes.size() == 1)
        return "Corvane: " + AlertResourceName(changes.front().Name) + ' ' + StateWords(changes.front().State);
    size_t down = 0;
    for (const TStateChange& change : changes)
        down += change.State == THostState::Down ? 1 : 0;
    const size_t up = changes.size() - down;
    std::string subject = "Corvane: ";
    if (down > 0)
        subject += counted(down, "risorsa non risponde", "risorse non rispondono");
    if (down > 0 && up > 0)
        subject += ", ";
    if (up > 0)
        subject += counted(up, "risorsa risponde di nuovo", "risorse rispondono di nuovo");
    return subject;
}

std::string AlertMailBody(const std::vector<TStateChange>& changes)
{
    std::string body = changes.size() == 1
        ? "Corvane ha notato un cambio di stato.\n"
        : "Corvane ha notato " + std::to_string(changes.size()) + " cambi di stato.\n";
    for (const TStateChange& change : changes) {
        const TRoundResult& round = change.Round;
        body += '\n' + AlertResourceLabel(change) + ' ' + StateWords(change.State) + ' '
            + timed(QT_TRANSLATE_NOOP("AlertTexts", "dalle %1 del %2."), LocalClockText(change.At, true),
                    dayText(change.At))
            + '\n';
        if (!round.Address.empty())
            body += "Indirizzo: " + oneLine(round.Address) + '\n';
        body += "Ultimo giro: " + counted(static_cast<size_t>(round.Sent), "richiesta", "richieste") + ", "
            + counted(static_cast<size_t>(round.Received), "risposta", "risposte");
        if (round.Received > 0)
            body += ", tempi min/medio/max " + MillisecondsText(round.MinUs).toStdString() + '/'
                + MillisecondsText(round.AvgUs()).toStdString() + '/' + MillisecondsText(round.MaxUs).toStdString()
                + " ms";
        body += '\n';
        if (!round.Error.empty())
            body += "Errore: " + oneLine(round.Error) + '\n';
    }
    return body;
}

std::string MailFailureNoticeText(const std::string& reason)
{
    return "Mail di avviso non inviata:\r\n" + oneLine(reason);
}
