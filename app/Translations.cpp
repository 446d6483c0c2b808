#include "Translations.h"

#include "TextCatalogue.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

// Where qt_add_translations puts the compiled translations in the resources: kavo_<language>.qm.
const char* const kResourceFolder = ":/kavo/i18n";

struct Installed {
    std::unique_ptr<QTranslator> program;
    std::unique_ptr<QTranslator> qt;
};

Installed& Current() {
    static Installed installed;
    return installed;
}

// The serial and download layers' texts (port failures, the doctor's advice, download failures) through the
// same translators as the window's own. QCoreApplication::translate is thread-safe: the download worker and
// the receive threads call it.
std::string TranslateThroughQt(const char* context, const char* text) {
    return QCoreApplication::translate(context, text).toStdString();
}

void Remove(std::unique_ptr<QTranslator>& translator) {
    if (translator != nullptr) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
}

} // namespace

QString InstallTranslations(const QLocale& locale) {
    // Set before any worker thread starts (main installs the language first); the same pointer every time.
    SetTextTranslator(&TranslateThroughQt);
    Installed& current = Current();
    Remove(current.program);
    Remove(current.qt);

    auto program = std::make_unique<QTranslator>();
    if (!program->load(locale, QStringLiteral("kavo"), QStringLiteral("_"),
                       QString::fromLatin1(kResourceFolder))) {
        // English: the source texts. The locale still decides what is Chinese and what is not.
        QLocale::setDefault(locale);
        return {};
    }
    const QLocale spoken(program->language());
    QCoreApplication::installTranslator(program.get());
    current.program = std::move(program);

    // Qt's dialogs (print, page setup, file) and standard buttons in the same language, where Qt has it.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(spoken, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        current.qt = std::move(qt);
    }
    QLocale::setDefault(spoken);
    return spoken.name();
}
