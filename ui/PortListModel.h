#pragma once

#include "PortIdentity.h"
#include "PortNameTable.h"
#include "PortScanner.h"

#include <QAbstractListModel>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class PortMonitor;
class QSocketNotifier;
class QTimer;

// The present serial ports as the setup form lists them, one row per port: "COM33  FT232R USB UART (A10K3J)"
// shown, the name alone as kPortNameRole (what Open uses and the pick remembers), the adapter's by-id link
// as kByIdLinkRole. Rows are sorted by PortListLess. Kept up to date every 5 s while the port is closed and
// at once on udev's plug and unplug events (on this thread's event loop, no thread); tells when the adapter
// of the open port goes away. Qt Core only: the form binds a combo box to it.
class PortListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    static constexpr int kRefreshTimerId = 1;
    static constexpr int kRefreshPeriodMs = 5000;
    static constexpr int kPortNameRole = Qt::UserRole;
    static constexpr int kByIdLinkRole = Qt::UserRole + 1;

    explicit PortListModel(PortNameTable table, QObject* parent = nullptr);
    ~PortListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Brings the rows up to date (left alone while the entries are the same), then chooses the row to show:
    // the operator's pick while that name is present, else the last row.
    void RefreshPortList();
    // The refresh timer's handler; skipped while refreshHeld() says the operator has the list open, so that
    // the entries do not change under the mouse.
    void OnTimer(int id);
    void SetRefreshHold(std::function<bool()> refreshHeld) { m_refreshHeld = std::move(refreshHeld); }
    bool IsRefreshTimerActive() const;
    // True when a udev monitor tells of plugged and unplugged adapters.
    bool HasPortMonitor() const { return m_portNotifier != nullptr; }

    // The row the view shows (-1 for none), as the view reports it.
    int CurrentRow() const { return m_currentRow; }
    void SetCurrentRow(int row);
    // The operator chose row: that name stays chosen across refreshes while it is present.
    void Pick(int row);
    // The name of the current row ("COM33"), empty for none.
    QString SelectedPortName() const;

    // The port the form opened ("COM33"), or empty once it is closed. While a port is open the rows stay as
    // they are and the refresh timer stops; its adapter's udev remove is told by openPortGone.
    void SetOpenPort(const std::string& name);
    // How the open port's adapter is described ("FT232R USB UART (A10K3J)", else its device path), for the
    // message when it goes away; empty while no port is open.
    QString OpenAdapter() const { return m_openAdapter; }
    // What the device behind name is, read now (empty for a name that maps to no device).
    PortIdentity Identity(const std::string& name) const;

    // "Keep this adapter's name": the current row's name becomes a port-folder link to its adapter's by-id
    // path, and stays picked.
    void KeepAdapterName();
    // Offered for a current row with a by-id link whose name is not already kept that way, while closed.
    bool IsKeepNameOffered() const { return m_keepNameOffered; }

  signals:
    // The rows were replaced (a refresh found other entries).
    void listChanged();
    // After a refresh: the row the view is to show (-1 for none).
    void currentRowChosen(int row);
    // The adapter of the open port was unplugged (udev's remove of its kernel name); told once per opening.
    void openPortGone(const QString& adapter);
    void keepNameOfferChanged(bool offered);
    // Writing the port-folder link failed; error says why.
    void keepNameFailed(const QString& name, const QString& error);

  private:
    struct Row {
        QString text; // "COM33  FT232R USB UART (A10K3J)"
        QString name; // "COM33"
        QString byIdLink;
    };
    void OnPortMonitorEvents();
    void UpdateKeepNameOffer();

    // Discovery with the identities of the adapters, cached between refreshes.
    PortScanner m_scanner;
    std::vector<Row> m_rows;
    int m_currentRow = -1;
    // The name the operator picked, kept across refreshes while it is present.
    QString m_pickedPort;
    QTimer* m_refreshTimer = nullptr;
    std::function<bool()> m_refreshHeld;
    std::unique_ptr<PortMonitor> m_portMonitor;
    // Declared after the monitor, so that it goes before the monitor's descriptor closes.
    std::unique_ptr<QSocketNotifier> m_portNotifier;
    std::string m_openPort;
    // The open port's kernel name ("ttyUSB0"), matched against udev's remove events; cleared once told.
    std::string m_openKernelName;
    QString m_openAdapter;
    bool m_keepNameOffered = false;
};
