#pragma once

#include <QLocale>
#include <QString>

// Installs the program's translation for locale (from the resources) and, with it, Qt's own translation of
// the same language (its dialogs and standard buttons), replacing whatever an earlier call installed. Where
// the program has no translation for locale its texts stay English and so do Qt's. The default locale becomes
// the language the program speaks, so that texts that depend on it (the English line under the Chinese
// operator messages) follow. It also hands the serial and download layers' texts to the same translation
// (SetTextTranslator), so the port's and the download's failures read in the program's language. Returns the
// name of the translation installed ("zh_CN"), empty for English.
QString InstallTranslations(const QLocale& locale);
