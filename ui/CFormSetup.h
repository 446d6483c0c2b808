#pragma once

#include "AppServices.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CViewBase.h"
#include "ControllerLink.h"
#include "FormSetupLayout.h"
#include "PortNameTable.h"
#include "WindowMessages.h"

#include <QColor>
#include <QScrollArea>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CColorButton;
class CKAVODoc;
class CRecipeEditor;
class CSerialPortBase;
class IBeeper;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTimer;

// The setup form: camera and position buttons, the eight channel sliders, the port and the download.
// It owns the program's one controller link (the serial port and the download worker), and scrolls when the
// pane is narrower than the form.
class CFormSetup : public QScrollArea, public CViewBase, private IDownloadListener {
    Q_OBJECT

  public:
    static constexpr int kRefreshTimerId = 1;
    static constexpr int kRefreshPeriodMs = 5000;

    // The port name table, the beeper and the download's pacing come from the services.
    explicit CFormSetup(const AppServices& services, QWidget* parent = nullptr);
    // Closes the link (a running download stopped and joined) before the progress bar goes.
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
    void OnTimer(int id);
    void OnDownload();
    // Enables or disables the Download and Open/Close Port buttons, and nothing else.
    void SetDownloadControlsEnabled(bool enable);
    // WM_DOWNLOAD_CONTROLS, the worker's path: low byte of wParam 1 enables, otherwise disables.
    Q_INVOKABLE qintptr OnDownloadControls(quintptr wParam, qintptr lParam);

    // The present port names in the list's order: sorted as text, without regard to case.
    QStringList EnumeratePorts() const;
    // Brings the list up to date (left alone while the names are the same); keeps the operator's pick
    // while that name is present, else selects the last entry.
    void RefreshPortList();

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
    QColor ProgressBarColor() const { return m_progressColor; }
    CSerialPortBase* Port() const { return &m_link->Port(); }
    bool IsRefreshTimerActive() const;
    bool IsDownloadRunning() const;
    // The inner widget laid out from the template.
    QWidget* FormWidget() const { return m_form; }

    static const QColor kNormalColor;
    static const QColor kPositionColor;
    static const QColor kCameraColor;

  signals:
    // A download has ended, whichever way (after its failure message, if any).
    void DownloadEnded();

  private:
    void CreateControls();
    void ConnectSlider(int channel);
    void PaintSelection();
    void SetProgressColor(const QColor& bar);
    void SetClosedState();
    void SetOpenState();
    void PostDownloadControls(quintptr wParam);
    // IDownloadListener, on the worker's thread: each posts its work to the user-interface thread.
    void OnDownloadStarted() override;
    void OnDownloadProgress(int count) override;
    void OnDownloadSucceeded() override;
    void OnDownloadBell() override;
    void OnDownloadFinished(const DownloadResult& result) override;
    // Runs fn on the user-interface thread, unless the form is gone by then.
    template <typename Fn> void PostToForm(Fn fn);
    // The download is over: the buttons come back, and a failure is told to the operator.
    void EndDownload(const DownloadResult& result);

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
    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnDownload = nullptr;

    QWidget* m_form = nullptr;
    CRecipeEditor* m_editor = nullptr;
    std::map<int, QWidget*> m_controls;
    QTimer* m_refreshTimer = nullptr;
    QColor m_progressColor;
    // The name the operator picked in the list, kept across refreshes while it is present.
    QString m_pickedPort;
    std::shared_ptr<IBeeper> m_beeper;
    // Declared last so that it is destroyed first; the destructor closes it explicitly anyway.
    std::unique_ptr<ControllerLink> m_link;
};
