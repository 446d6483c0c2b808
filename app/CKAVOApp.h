#pragma once

#include "AppServices.h"
#include "CCmdTarget.h"
#include "CCommandLineInfo.h"
#include "ShellRegistration.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class CKAVODoc;
class CMainFrame;
class ControllerSession;
class CRecentFileList;
class CSheetPrinter;
class CSingleDocTemplate;

// The application: start-up in its fixed order, the command line, the About box and the end of
// the run. It owns the one document, the template and the main window.
class CKAVOApp : public CCmdTarget {
  public:
    // The program's own services, built from the environment when start-up begins.
    CKAVOApp();
    // The caller's services (tests).
    explicit CKAVOApp(AppServices services);
    ~CKAVOApp() override;

    // Start-up with the command line the caller has read. False ends the program:
    // ExitCode() then tells with which code (0 for a switch that ends the program by design).
    bool InitInstance(const CCommandLineInfo& cmdInfo);
    // The end of the run: writes the recent-file list back, releases the windows and ends the session
    // with the controller.
    int ExitInstance(int code);
    int ExitCode() const { return m_exitCode; }

    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnFilePrint();
    void OnFilePrintPreview();
    void OnOpenRecentFile(int index);
    // A file dropped on the window, or handed over otherwise: opened as by Open.
    bool OpenDocumentFile(const QString& path);

    CKAVODoc* Document() const { return m_pDocument.get(); }
    // The session with the controller (the port, downloads, live mode), once the frame is made.
    ControllerSession* Session() const { return m_session.get(); }
    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
    CSingleDocTemplate* Template() const { return m_pTemplate.get(); }
    CRecentFileList* RecentFiles() const { return m_pRecentFiles.get(); }
    // The print commands and the session's printer settings.
    CSheetPrinter* Printing() const { return m_pPrinting.get(); }
    const CCommandLineInfo& CommandLine() const { return m_cmdInfo; }

    // Tests turn the desktop registration off; the program registers at every start unless it was
    // installed with its desktop files (ShellRegistration::ProvidedByInstallation).
    void SetRegisterShellFileTypes(bool on) { m_registerShell = on; }
    void SetExecutablePath(const QString& path) { m_executablePath = path; }
    // The desktop's database tools as the registration runs them (tests count the runs).
    void SetShellToolRunner(ShellRegistration::ToolRunner runner) { m_runShellTool = std::move(runner); }

    // The program's services: the environment's port name table, the ALSA beeper, the standard
    // download pacing and the X display Qt runs on (none offscreen).
    static AppServices DefaultServices();

  private:
    bool ProcessShellCommand();
    void CreateFrame();

    CCommandLineInfo m_cmdInfo;
    std::optional<AppServices> m_services;
    std::unique_ptr<CRecentFileList> m_pRecentFiles;
    std::unique_ptr<CKAVODoc> m_pDocument;
    // Reads the document; goes after the frame that shows it and before the document.
    std::unique_ptr<ControllerSession> m_session;
    std::unique_ptr<CSingleDocTemplate> m_pTemplate;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<CSheetPrinter> m_pPrinting;
    bool m_registerShell = true;
    QString m_executablePath;
    ShellRegistration::ToolRunner m_runShellTool = ShellRegistration::RunTool;
    int m_exitCode = 0;
};
