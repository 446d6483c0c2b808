// Printing from the window (Print, Print Preview, Print Setup) and from the command line (/p, /pt). A printer
// cannot be had here: Qt's PDF output stands in for one, read back with poppler's tools.
#include "CCommandLineInfo.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMainFrame.h"
#include "CSheetPrinter.h"
#include "PrintedSheet.h"
#include "ScratchHome.h"
#include "ScriptedMessageBoxes.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

using namespace printed_sheet;

// Runs fn on the next modal dialog once it is up (the command that opens it is still inside exec()).
void WhenModal(std::function<void(QWidget*)> fn) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn = std::move(fn)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
        }
    });
    timer->start();
}

std::unique_ptr<QPrinter> PdfPrinter(const QString& file) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    return printer;
}

class PrintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        UseScratchHome(m_home);
        m_app.SetRegisterShellFileTypes(false);
        QFile f(m_aid);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(FileBytes(Fixture()));
    }

    QTemporaryDir m_home;
    QString m_aid = m_home.filePath("fixture.aid");
    QString m_pdf = m_home.filePath("out.pdf");
    CScriptedMessageBoxes m_boxes;
    CKAVOApp m_app;
};

TEST_F(PrintTest, PrintToPrintsTheFileOnTheNamedPrinterAndEnds) {
    QStringList asked;
    m_app.Printing()->SetPrinterLookup([&](const QString& name) -> std::unique_ptr<QPrinter> {
        asked << name;
        return name == QLatin1String("Office") ? PdfPrinter(m_pdf) : nullptr;
    });
    EXPECT_FALSE(m_app.InitInstance(CCommandLineInfo::Parse({"/pt", m_aid, "Office", "drv", "port"})));
    EXPECT_EQ(m_app.ExitCode(), 0);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(asked, QStringList{"Office"});
    ASSERT_EQ(PageCount(m_pdf), 3);
    EXPECT_TRUE(Words(m_pdf, 3).contains(QStringLiteral("fixture.aid")));
}

TEST_F(PrintTest, NoPrinterOrAnUnknownOneIsToldAndEndsWithAFailure) {
    struct Case {
        QStringList args;
        QString asked;
        QString message;
    };
    const Case cases[] = {
        {{"/p", m_aid}, "", "No printer is set up on this computer: the recipe was not printed."},
        {{"/pt", m_aid, "Nope"}, "Nope", "The printer Nope was not found: the recipe was not printed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        m_boxes.shown.clear();
        CKAVOApp app;
        app.SetRegisterShellFileTypes(false);
        QStringList asked;
        app.Printing()->SetPrinterLookup([&](const QString& name) -> std::unique_ptr<QPrinter> {
            asked << name;
            return nullptr;
        });
        EXPECT_FALSE(app.InitInstance(CCommandLineInfo::Parse(c.args)));
        EXPECT_EQ(app.ExitCode(), 1);
        EXPECT_EQ(asked, QStringList{c.asked});
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        EXPECT_EQ(m_boxes.shown[0].text, c.message);
        EXPECT_EQ(m_boxes.shown[0].type & MB_ICONMASK, MB_ICONERROR);
    }
}

// The program without a display and without a printer: the message on standard error, no box waits.
TEST(PrintProgram, WithoutAPrinterEndsWithAMessage) {
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        GTEST_SKIP() << "this machine has a default printer";
    }
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString aid = home.filePath("a.aid");
    QFile f(aid);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(FileBytes(Recipe()));
    f.close();
    QProcess kavo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    kavo.setProcessEnvironment(env);
    kavo.start(QStringLiteral(KAVO_BINARY), {"/p", aid});
    ASSERT_TRUE(kavo.waitForFinished(60000));
    EXPECT_EQ(kavo.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(kavo.readAllStandardError())
                    .contains("kavo: No printer is set up on this computer: the recipe was not printed."));
}

class WindowPrintTest : public PrintTest {
  protected:
    void SetUp() override {
        PrintTest::SetUp();
        ASSERT_TRUE(m_app.InitInstance(CCommandLineInfo::Parse({m_aid})));
        // The session's printer writes a PDF file, as "Print to File (PDF)" in the print dialog does.
        QPrinter& printer = m_app.Printing()->Printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_pdf);
    }
    CMainFrame* frame() { return m_app.MainFrame(); }
};

TEST_F(WindowPrintTest, ToolbarPrintOpensThePrintDialogAndPrintsWhatItChose) {
    bool sawDialog = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        sawDialog = dialog != nullptr;
        if (dialog != nullptr) {
            dialog->accept();
        } else {
            modal->close();
        }
    });
    QWidget* button = frame()->ToolBar()->widgetForAction(frame()->Action(ID_FILE_PRINT));
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(m_boxes.shown.empty());
    ASSERT_EQ(PageCount(m_pdf), 3);
    EXPECT_TRUE(Words(m_pdf, 1).contains(QStringLiteral("fixture.aid")));
}

TEST_F(WindowPrintTest, CancelledPrintDialogPrintsNothing) {
    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT));
    EXPECT_FALSE(QFile::exists(m_pdf));
}

TEST_F(WindowPrintTest, PreviewShowsThreePages) {
    int pages = -1;
    WhenModal([&](QWidget* modal) {
        if (auto* widget = modal->findChild<QPrintPreviewWidget*>()) {
            pages = widget->pageCount();
        }
        static_cast<QDialog*>(modal)->reject();
    });
    ASSERT_TRUE(frame()->Action(ID_FILE_PRINT_PREVIEW)->isEnabled());
    EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT_PREVIEW));
    EXPECT_EQ(pages, 3);
}

TEST_F(WindowPrintTest, PrintSetupKeepsThePaperForTheNextPrint) {
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QPageSetupDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        // The paper list of Qt's page setup: pick Letter.
        for (QComboBox* combo : dialog->findChildren<QComboBox*>()) {
            const int letter = combo->findText(QStringLiteral("Letter"), Qt::MatchStartsWith);
            if (letter >= 0) {
                combo->setCurrentIndex(letter);
            }
        }
        dialog->accept();
    });
    EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT_SETUP));
    EXPECT_EQ(m_app.Printing()->Printer().pageLayout().pageSize().id(), QPageSize::Letter);

    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
    EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT));
    ASSERT_EQ(PageCount(m_pdf), 3);
    EXPECT_EQ(PageSizeText(m_pdf), QStringLiteral("612 x 792"));
}

// A sheet of unsaved edits says so, and every page carries the SHA-256 of the recipe as it is (the journal's
// hash of its 360-byte image), which is not the saved file's; once saved, the mark goes.
TEST_F(WindowPrintTest, UnsavedChangesAreMarkedAndEveryPageCarriesTheRecipesHash) {
    CKAVODoc* doc = m_app.Document();
    ASSERT_TRUE(doc->SetLevel(2, 3, 4, 77));
    const Recipe edited = doc->GetRecipe();
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(FileBytes(edited), QCryptographicHash::Sha256).toHex());
    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
    EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT));
    ASSERT_EQ(PageCount(m_pdf), 3);
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const QStringList words = Words(m_pdf, page);
        EXPECT_TRUE(words.contains(QStringLiteral("fixture.aid"))) << words.join(' ').toStdString();
        EXPECT_TRUE(words.join(' ').contains(QStringLiteral("Unsaved changes")))
            << words.join(' ').toStdString();
        EXPECT_TRUE(words.contains(sha));
    }

    FileError error;
    ASSERT_TRUE(doc->OnSaveDocument(m_aid, &error));
    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
    EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT));
    const QStringList words = Words(m_pdf, 2);
    EXPECT_FALSE(words.contains(QStringLiteral("Unsaved"))) << words.join(' ').toStdString();
    EXPECT_TRUE(words.contains(sha));
}

// Print to File writes as every file of the program is written: never over the recipe being printed, under
// any of its names, nor over anything but a regular file. Print and the preview's print button alike.
TEST_F(WindowPrintTest, PrintToFileRefusesTheRecipeItselfAndAnythingButARegularFile) {
    const QByteArray bytes = FileBytes(Fixture());
    const QString link = m_home.filePath("link.pdf");
    ASSERT_TRUE(QFile::link(m_aid, link));
    const QString node = m_home.filePath("null.pdf");
    const bool device = ::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    struct Case {
        const char* what;
        QString target;
        QString message;
    };
    std::vector<Case> cases = {
        {"the recipe", m_aid, m_aid + " is the recipe being printed: the sheet was not written there."},
        {"a link to the recipe", link,
         link + " is the recipe being printed: the sheet was not written there."},
    };
    if (device) {
        cases.push_back(
            {"a device node", node,
             "The recipe could not be printed on " + node + ".\nAccess to " + node + " was denied."});
    }
    for (const Case& c : cases) {
        for (const bool preview : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (preview ? ", from the preview" : ""));
            m_boxes.shown.clear();
            m_app.Printing()->Printer().setOutputFileName(c.target);
            struct stat before {};
            ::stat(QFile::encodeName(c.target).constData(), &before);
            if (preview) {
                WhenModal([](QWidget* modal) {
                    if (auto* widget = modal->findChild<QPrintPreviewWidget*>()) {
                        widget->print(); // what the preview's print button does once the print dialog is
                                         // accepted
                    }
                    static_cast<QDialog*>(modal)->reject();
                });
                EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT_PREVIEW));
            } else {
                WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
                EXPECT_TRUE(frame()->RouteCommand(ID_FILE_PRINT));
            }
            ASSERT_EQ(m_boxes.shown.size(), 1u);
            EXPECT_EQ(m_boxes.shown[0].text, c.message);
            EXPECT_EQ(m_boxes.shown[0].type & MB_ICONMASK, MB_ICONERROR);
            QFile aid(m_aid);
            ASSERT_TRUE(aid.open(QIODevice::ReadOnly));
            EXPECT_EQ(aid.readAll(), bytes);
            struct stat after {};
            ::stat(QFile::encodeName(c.target).constData(), &after);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
        }
    }
}

} // namespace
