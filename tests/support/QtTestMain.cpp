// main() for widget tests: one QApplication, offscreen unless the caller chose a platform, and the
// settings (recent files) and desktop data in folders of their own, set before anything reads them,
// under the program's settings names.
#include "SettingsLocation.h"

#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath("state"))); // the download journal
    QApplication app(argc, argv);
    // English, whatever the machine's language: the tests compare the program's English texts (the
    // translation tests install another language themselves).
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
