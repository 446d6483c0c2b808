#include "CKAVOApp.h"

#include "AfxMessageBox.h"
#include "Beeper.h"
#include "CAboutDlg.h"
#include "CKAVODoc.h"
#include "CLockKeyIndicators.h"
#include "CMainFrame.h"
#include "CRecentFileList.h"
#include "CSheetPrinter.h"
#include "CSingleDocTemplate.h"
#include "ControllerSession.h"
#include "SettingsLocation.h"
#include "ShellRegistration.h"
#include "StringTable.h"

#include <QApplication>
#include <QScreen>

CKAVOApp::CKAVOApp(AppServices services) : CKAVOApp() {
    m_services = std::move(services);
}

CKAVOApp::CKAVOApp() : m_pPrinting(std::make_unique<CSheetPrinter>()) {
    SetCommandHandler(ID_APP_ABOUT, [this] { OnAppAbout(); });
    SetCommandHandler(ID_FILE_NEW, [this] { OnFileNew(); });
    SetCommandHandler(ID_FILE_OPEN, [this] { OnFileOpen(); });
    SetCommandHandler(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
    SetCommandHandler(ID_FILE_PRINT, [this] { OnFilePrint(); });
    SetCommandHandler(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
    SetCommandHandler(ID_APP_EXIT, [this] {
        if (m_pMainWnd != nullptr) {
            m_pMainWnd->close();
        }
    });
    for (int i = 0; i < 4; ++i) {
        SetCommandHandler(ID_FILE_MRU_FILE1 + static_cast<UINT>(i), [this, i] { OnOpenRecentFile(i); });
    }
}

CKAVOApp::~CKAVOApp() {
    // The frame's panes are views of the document, and the session reads it: they go first.
    m_pMainWnd.reset();
    m_session.reset();
    m_pTemplate.reset();
    m_pDocument.reset();
}

AppServices CKAVOApp::DefaultServices() {
    return AppServices{PortNameTable::FromEnvironment(), std::make_shared<AlsaBeeper>(),
                       DownloadWorker::Options(), CLockKeyIndicators::ApplicationDisplayName()};
}

bool CKAVOApp::InitInstance(const CCommandLineInfo& cmdInfo) {
    m_exitCode = 1;
    if (m_executablePath.isEmpty()) {
        m_executablePath = QCoreApplication::applicationFilePath();
    }
    // The desktop groups the windows under the registered entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("kavo"));
    if (!m_services) {
        m_services = DefaultServices();
    }

    // The settings folder (recent files); at most 4 recent files.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    m_pRecentFiles = std::make_unique<CRecentFileList>(4);
    m_pRecentFiles->ReadList();

    m_pDocument = std::make_unique<CKAVODoc>();
    m_pTemplate = std::make_unique<CSingleDocTemplate>(m_pDocument.get(), m_pRecentFiles.get());

    m_cmdInfo = cmdInfo;

    // Every start makes sure the desktop knows the ".aid" type, writing only what is not yet in place; the
    // registration switches do it below. An installed program leaves it to the files its installation put
    // in place.
    const bool registrationSwitch = m_cmdInfo.m_nShellCommand == CCommandLineInfo::AppRegister ||
                                    m_cmdInfo.m_nShellCommand == CCommandLineInfo::AppUnregister;
    if (m_registerShell && !registrationSwitch &&
        !ShellRegistration::ProvidedByInstallation(m_executablePath)) {
        ShellRegistration::Register(m_executablePath, m_runShellTool);
    }

    if (!ProcessShellCommand()) {
        m_pMainWnd.reset();
        return false;
    }
    m_pMainWnd->show();
    m_pMainWnd->raise();
    m_pMainWnd->activateWindow();
    m_exitCode = 0;
    return true;
}

void CKAVOApp::CreateFrame() {
    if (m_session == nullptr) {
        m_session = std::make_unique<ControllerSession>(m_services->portTable, m_services->beeper,
                                                        m_services->downloadOptions);
        m_session->SetDocument(m_pDocument.get());
    }
    m_pMainWnd = std::make_unique<CMainFrame>(m_pDocument.get(), *m_session, *m_services);
    m_pMainWnd->SetCommandChain({m_pDocument.get(), this});
    m_pMainWnd->SetRecentFileList(m_pRecentFiles.get());
    m_pMainWnd->SetDropHandler([this](const QString& path) { OpenDocumentFile(path); });
    m_pMainWnd->SetCloseQuery([this] { return m_pTemplate->SaveModified(); });
    const QScreen* screen = m_pMainWnd->screen();
    m_pMainWnd->resize(CMainFrame::InitialSize(screen != nullptr ? screen->availableGeometry() : QRect()));
    m_pTemplate->SetMainWindow(m_pMainWnd.get());
}

bool CKAVOApp::ProcessShellCommand() {
    switch (m_cmdInfo.m_nShellCommand) {
    case CCommandLineInfo::AppRegister:
        m_exitCode = ShellRegistration::Register(m_executablePath, m_runShellTool) ? 0 : 1;
        return false;
    case CCommandLineInfo::AppUnregister:
        m_exitCode = ShellRegistration::Unregister(m_runShellTool) ? 0 : 1;
        return false;
    case CCommandLineInfo::FileOpen:
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo: {
        CreateFrame();
        m_pDocument->SetTitle(LoadString(AFX_IDS_UNTITLED));
        if (!m_pTemplate->OpenDocumentFile(m_cmdInfo.m_strFileName)) {
            m_exitCode = 1;
            return false;
        }
        if (m_cmdInfo.m_nShellCommand != CCommandLineInfo::FileOpen) {
            // Print without a dialog, on the default printer (/p) or the named one (/pt), then end.
            const QString printer = m_cmdInfo.m_nShellCommand == CCommandLineInfo::FilePrintTo
                                        ? m_cmdInfo.m_strPrinterName
                                        : QString();
            m_exitCode = m_pPrinting->PrintDirect(*m_pDocument, printer) ? 0 : 1;
            return false;
        }
        return true;
    }
    case CCommandLineInfo::FileDDE:
    case CCommandLineInfo::FileNew:
    case CCommandLineInfo::FileNothing:
    default:
        CreateFrame();
        if (!m_pDocument->OnNewDocument()) {
            AfxMessageBox(AFX_IDP_FAILED_TO_CREATE_DOC);
            return false;
        }
        m_pDocument->SetTitle(LoadString(AFX_IDS_UNTITLED));
        m_pDocument->SendInitialUpdate();
        return true;
    }
}

int CKAVOApp::ExitInstance(int code) {
    if (m_pRecentFiles != nullptr) {
        m_pRecentFiles->WriteList();
    }
    m_pMainWnd.reset();
    m_session.reset();
    return code;
}

void CKAVOApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

void CKAVOApp::OnFileNew() {
    m_pTemplate->OnFileNew();
}

void CKAVOApp::OnFileOpen() {
    m_pTemplate->OnFileOpen();
}

void CKAVOApp::OnFilePrintSetup() {
    m_pPrinting->OnFilePrintSetup(m_pMainWnd.get());
}

void CKAVOApp::OnFilePrint() {
    m_pPrinting->OnFilePrint(*m_pDocument, m_pMainWnd.get());
}

void CKAVOApp::OnFilePrintPreview() {
    m_pPrinting->OnFilePrintPreview(*m_pDocument, m_pMainWnd.get());
}

void CKAVOApp::OnOpenRecentFile(int index) {
    m_pTemplate->OnOpenRecentFile(index);
}

bool CKAVOApp::OpenDocumentFile(const QString& path) {
    return m_pTemplate->OpenDocumentFile(path);
}
