#include "app/translators.h"

#include "platform/text_locale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

#include <memory>

namespace {

// Kept for the program's life: an installed translator must outlive every text it gives.
struct TInstalled
{
    std::unique_ptr<QTranslator> program;
    std::unique_ptr<QTranslator> qt;
};

TInstalled& installed()
{
    static TInstalled translators;
    return translators;
}

void replace(std::unique_ptr<QTranslator>& slot, std::unique_ptr<QTranslator> translator)
{
    if (slot)
        QCoreApplication::removeTranslator(slot.get());
    slot = std::move(translator);
    if (slot)
        QCoreApplication::installTranslator(slot.get());
}

// A translator of `file`, or none when it cannot be read.
std::unique_ptr<QTranslator> loaded(const QString& file, const QString& folder = QString())
{
    auto translator = std::make_unique<QTranslator>();
    return translator->load(file, folder) ? std::move(translator) : nullptr;
}

} // namespace

void InstallLanguage(TLanguage language)
{
    const QString code = QLatin1String(LanguageCode(language));
    SetTextLocale(language == TLanguage::Italian ? QLocale(QLocale::Italian, QLocale::Italy)
                                                 : QLocale(QLocale::English, QLocale::UnitedStates));
    // Built into the program, uncompressed, so the translator reads it where it lies.
    replace(installed().program,
            language == TLanguage::Italian ? nullptr : loaded(QStringLiteral(":/i18n/corvane_") + code));
    // Qt's buttons and standard menus speak the program's language, Italian included, where the system has
    // Qt's translations (Debian's qt6-translations-l10n).
    replace(installed().qt,
            loaded(QStringLiteral("qtbase_") + code, QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
}
