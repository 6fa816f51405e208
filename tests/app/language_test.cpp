// Which language the program speaks, and what follows it: its texts, Qt's, numbers, times and dates.
#include "app/alert_texts.h"
#include "app/language_choice.h"
#include "app/translators.h"
#include "platform/text_locale.h"
#include "platform/translated_text.h"
#include "ui/latency_tip.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>

#include <chrono>
#include <gtest/gtest.h>
#include <tuple>

namespace {

TEST(LanguageChoiceTest, TheSettingComesFirstThenLanguageThenTheLocaleAndTheCLocaleSpeaksItalian)
{
    constexpr TLanguage it = TLanguage::Italian, en = TLanguage::English;
    // The setting, the desktop's LANGUAGE, LC_ALL, LC_MESSAGES and LANG, and the language they give.
    const std::tuple<const char*, TLanguageEnvironment, TLanguage> cases[] = {
        {"", {}, it},
        {"", {"", "", "", "C"}, it},
        {"", {"", "", "", "POSIX"}, it},
        {"", {"en_US:en", "", "", "C.UTF-8"}, it}, // LANGUAGE does not count in the C locale
        {"", {"en", "", "", ""}, it}, // nor with no locale at all
        {"", {"", "", "", "it_IT.UTF-8"}, it},
        {"", {"", "", "", "en_US.UTF-8"}, en},
        {"", {"", "", "", "de_DE.UTF-8"}, en}, // a language without a translation of its own
        {"", {"", "", "fr_FR.UTF-8", "it_IT.UTF-8"}, en}, // LC_MESSAGES over LANG
        {"", {"", "it_CH.UTF-8@euro", "en_GB", "de_DE"}, it}, // LC_ALL over both
        {"", {"de:it:en", "", "", "en_US.UTF-8"}, it}, // the first entry the program has
        {"", {"en_GB:it", "", "", "it_IT.UTF-8"}, en},
        {"", {"fr:de", "", "", "it_IT.UTF-8"}, it}, // none it has: the locale decides
        {"it", {"en", "", "", "en_US.UTF-8"}, it}, // [Check] Language over everything
        {" EN\r", {"", "", "", "it_IT"}, en},
        {"   ", {"", "", "", "en_US"}, en}, // blank follows the desktop
    };
    for (const auto& [setting, desktop, expected] : cases)
        EXPECT_EQ(ChooseLanguage(setting, desktop), expected)
            << "[" << setting << "] " << desktop.Language << ' ' << desktop.LcAll << ' ' << desktop.Lang;
}

TEST(LanguageTest, EnglishHasItsOwnTextsNumbersAndDatesAndItalianComesBackAsItWas)
{
    const QDateTime since(QDate(2026, 5, 3), QTime(2, 26)), now(QDate(2026, 5, 4), QTime(9, 0));
    TLatencyFigures figures;
    figures.Pinged = true;
    figures.Host = QStringLiteral("router.lan");
    figures.Sent = figures.Received = 3;
    std::tie(figures.MinUs, figures.AvgUs, figures.MaxUs) = std::tuple(412, 40, 1149);
    figures.Rounds = {{true, 500}, {false, 0}};
    figures.Standing = TLatencyStanding::Up;
    figures.Since = since;
    TStateChange change;
    change.Name = "router.cvr";
    change.State = THostState::Down;
    change.At = TWallClock::time_point(std::chrono::milliseconds(since.toMSecsSinceEpoch()));
    change.Round.Sent = change.Round.Received = 1;
    change.Round.MinUs = change.Round.MaxUs = change.Round.SumUs = 400;

    InstallLanguage(TLanguage::English);
    EXPECT_EQ(LatencyTipLines(figures, now),
              QStringList({QStringLiteral("router.lan"), QStringLiteral("Last round: 3/3 answers, 0.4 / 0.04 / 1.1 ms"),
                           QStringLiteral("Unanswered: 1 round of 2 (50%)"),
                           QStringLiteral("Answering since 02:26 on 3 May 2026")}));
    EXPECT_TRUE(AlertNoticeText({change}).ends_with(" (at 02:26)")) << AlertNoticeText({change});
    EXPECT_NE(AlertMailBody({change}).find(" since 02:26:00 on 3 May 2026.\n"), std::string::npos);
    EXPECT_NE(AlertMailBody({change}).find(" 0.4/0.4/0.4 ms\n"), std::string::npos) << AlertMailBody({change});
    EXPECT_EQ(TranslatedText("ChromeLook", "Info su Corvane"), "About Corvane");

    InstallLanguage(TLanguage::Italian);
    EXPECT_TRUE(AlertNoticeText({change}).ends_with(" (ore 02:26)"));
    // Qt's own buttons speak Italian too, where the system has Qt's translations.
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_it.qm"))) {
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annulla"));
    }
}

} // namespace
