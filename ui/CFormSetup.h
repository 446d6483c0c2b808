#pragma once

#include "AppServices.h"
#include "CColorProgressBar.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CViewBase.h"
#include "ControllerSession.h"
#include "FormSetupLayout.h"
#include "PortListModel.h"
#include "PortNameTable.h"
#include "WindowMessages.h"

#include <QColor>
#include <QScrollArea>

#include <array>
#include <map>
#include <memory>
#include <string>

class CColorButton;
class CKAVODoc;
class CRecipeEditor;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;

// The setup form: camera and position buttons, the eight channel sliders, the port and the download. It
// shows the controller session (the port, the download, live mode, the controller line) and binds its
// controls to it; the session does the work. It scrolls when the pane is narrower than the form.
//
// Live: while the box is ticked and the port open, every edit of positions 1..4 goes to the controller, the
// slider's thumb while it is dragged included. The choice is remembered and comes back at the next open.
class CFormSetup : public QScrollArea, public CViewBase {
    Q_OBJECT

  public:
    // The port name table comes from the services; session outlives the form.
    CFormSetup(const AppServices& services, ControllerSession& session, QWidget* parent = nullptr);
    ~CFormSetup() override;

    CKAVODoc* GetDocument() const;
    // Edits go through the editor's history; without one they go to the document directly.
    void SetEditor(CRecipeEditor* editor) { m_editor = editor; }

    void OnInitialUpdate() override;
    void OnUpdate(CViewBase* sender, long hint) override;

    // Handlers, with the numbers of the form's messages.
    void OnPositionButton(int id);
    void OnCameraButton(int id);
    // bar: one of the eight sliders, or the form's own scroll bar / nullptr (the form only scrolls).
    void OnHScroll(int code, int pos, QScrollBar* bar);
    // A level typed into a channel's value entry.
    void OnLevelEntered(int channel, int level);
    void OnOpenPort();
    void OnDownload();
    // Enables or disables the Download and Open/Close Port buttons, and nothing else.
    void SetDownloadControlsEnabled(bool enable);
    // WM_DOWNLOAD_CONTROLS: low byte of wParam 1 enables, otherwise disables.
    Q_INVOKABLE qintptr OnDownloadControls(quintptr wParam, qintptr lParam);

    // The name of the list's selected entry ("COM33"), whatever the entry shows beside it.
    QString SelectedPortName() const { return m_ports->SelectedPortName(); }
    // The adapter of the open port went away (its udev remove): the session closes the port, the form
    // offers Open Port again, and the operator is told which adapter it was.
    void OnLineLost();
    // The present ports the list shows, refreshed while the port is closed.
    PortListModel* Ports() const { return m_ports; }
    // The list's context menu entry "Keep this adapter's name".
    QAction* KeepNameAction() const { return m_keepNameAction; }

    // The control with a template id, nullptr for none.
    QWidget* Control(int id) const;
    CColorButton* CameraButton(int camera) const { return m_btnCamera.at(camera - 1); }
    CColorButton* PositionButton(int position) const { return m_btnPosition.at(position - 1); }
    QScrollBar* LevelBar(int channel) const { return m_sbLevel.at(channel - 1); }
    CLevelEdit* LevelLabel(int channel) const { return m_stLevel.at(channel - 1); }
    QComboBox* PortList() const { return m_cbPort; }
    QPushButton* OpenPortButton() const { return m_btnOpenPort; }
    QPushButton* DownloadButton() const { return m_btnDownload; }
    QProgressBar* Progress() const { return m_progress; }
    QCheckBox* LiveBox() const { return m_chkLive; }
    QLabel* ControllerLine() const { return m_stController; }
    // Turns Live on or off as the check box does (on only while the port is open), and remembers it.
    void OnLive(bool on);
    ControllerSession& Session() const { return m_session; }
    QColor ProgressBarColor() const { return m_progressColor; }
    // The inner widget laid out from the template.
    QWidget* FormWidget() const { return m_form; }

    static const QColor kNormalColor;
    static const QColor kPositionColor;
    static const QColor kCameraColor;

  private:
    void BindControls();
    void BindPortList();
    void ConnectSlider(int channel);
    void PaintSelection();
    void SetProgressColor(const QColor& bar);
    void SetClosedState();
    void SetOpenState();
    // The session's news.
    void ConnectSession();
    void OnOpened();
    void OnOpenFailed(const QString& why);
    void ShowLineLost(const QString& portName, bool wasLive);
    // The download is over: the buttons come back, and a failure is told to the operator.
    void OnDownloadEnded(const DownloadResult& result, bool portClosed);
    void OnLiveFailed(const QString& portName, const QString& errorText, bool portClosed);
    void UncheckLive();

    const QColor m_clrNormal;
    const QColor m_clrPosition;
    const QColor m_clrCamera;
    std::array<CColorButton*, 3> m_btnCamera{};
    std::array<CColorButton*, 5> m_btnPosition{};
    std::array<CLevelBar*, 8> m_sbLevel{};
    std::array<CLevelEdit*, 8> m_stLevel{};
    QComboBox* m_cbPort = nullptr;
    PortNameTable m_portTable;
    QPushButton* m_btnOpenPort = nullptr;
    CColorProgressBar* m_progress = nullptr;
    QPushButton* m_btnDownload = nullptr;

    ControllerSession& m_session;
    QWidget* m_form = nullptr;
    CRecipeEditor* m_editor = nullptr;
    std::map<int, QWidget*> m_controls;
    QColor m_progressColor;
    PortListModel* m_ports = nullptr;
    const CKAVODoc* m_connectedDoc = nullptr; // whose current camera and position the buttons follow
    // How the list showed the open port's adapter, for the message when it goes away.
    QString m_openDescription;
    QAction* m_keepNameAction = nullptr;
    QCheckBox* m_chkLive = nullptr;
    QLabel* m_stController = nullptr;
};
