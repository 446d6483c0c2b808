#include "PortListModel.h"

#include "PortMonitor.h"
#include "PortPin.h"
#include "PortWording.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

PortListModel::PortListModel(PortNameTable table, QObject* parent)
    : QAbstractListModel(parent), m_scanner(std::move(table)), m_refreshTimer(new QTimer(this)) {
    m_refreshTimer->setInterval(kRefreshPeriodMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { OnTimer(kRefreshTimerId); });

    // Plugging and unplugging, from udev on this thread's event loop. Without udev (a container) the
    // monitor stays silent or does not start, and the 5-second refresh alone keeps the list.
    m_portMonitor = std::make_unique<PortMonitor>();
    if (m_portMonitor->Ok()) {
        m_portNotifier = std::make_unique<QSocketNotifier>(m_portMonitor->fd(), QSocketNotifier::Read);
        connect(m_portNotifier.get(), &QSocketNotifier::activated, this, [this] { OnPortMonitorEvents(); });
    }
}

PortListModel::~PortListModel() = default;

int PortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant PortListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole: // the whole entry, where the view cuts it
        return row.text;
    case kPortNameRole:
        return row.name;
    case kByIdLinkRole:
        return row.byIdLink;
    default:
        return {};
    }
}

void PortListModel::RefreshPortList() {
    std::vector<PortEntry> entries = m_scanner.Scan();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const PortEntry& a, const PortEntry& b) { return PortListLess(a.name, b.name); });
    std::vector<Row> present;
    present.reserve(entries.size());
    for (const PortEntry& e : entries) {
        const std::string summary = e.identity.Summary();
        present.push_back(Row{QString::fromStdString(summary.empty() ? e.name : e.name + "  " + summary),
                              QString::fromStdString(e.name), QString::fromStdString(e.identity.byIdLink)});
    }
    const auto same = [](const Row& a, const Row& b) { return a.text == b.text && a.byIdLink == b.byIdLink; };
    // The same entries stay as they are: an idle form does not rebuild and repaint its list every 5 s.
    if (!std::equal(present.begin(), present.end(), m_rows.begin(), m_rows.end(), same)) {
        beginResetModel();
        m_rows = std::move(present);
        m_currentRow = -1;
        endResetModel();
        emit listChanged();
    }
    if (!m_rows.empty()) {
        const auto picked = std::find_if(m_rows.begin(), m_rows.end(),
                                         [this](const Row& r) { return r.name == m_pickedPort; });
        if (m_pickedPort.isEmpty() || picked == m_rows.end()) {
            m_pickedPort.clear(); // the operator's port went away
            m_currentRow = static_cast<int>(m_rows.size()) - 1;
        } else {
            m_currentRow = static_cast<int>(picked - m_rows.begin());
        }
    }
    emit currentRowChosen(m_currentRow);
    UpdateKeepNameOffer();
}

void PortListModel::OnTimer(int id) {
    if (id != kRefreshTimerId || (m_refreshHeld && m_refreshHeld())) {
        return;
    }
    RefreshPortList();
}

bool PortListModel::IsRefreshTimerActive() const {
    return m_refreshTimer->isActive();
}

void PortListModel::SetCurrentRow(int row) {
    m_currentRow = row >= 0 && row < rowCount() ? row : -1;
    UpdateKeepNameOffer();
}

void PortListModel::Pick(int row) {
    SetCurrentRow(row);
    if (m_currentRow >= 0) {
        m_pickedPort = m_rows[static_cast<std::size_t>(m_currentRow)].name;
    }
}

QString PortListModel::SelectedPortName() const {
    return m_currentRow >= 0 ? m_rows[static_cast<std::size_t>(m_currentRow)].name : QString();
}

PortIdentity PortListModel::Identity(const std::string& name) const {
    const std::optional<std::string> device = m_scanner.table().devicePath(name);
    return device ? m_scanner.reader().Read(*device) : PortIdentity();
}

void PortListModel::SetOpenPort(const std::string& name) {
    m_openPort = name;
    m_openKernelName.clear();
    m_openAdapter.clear();
    if (name.empty()) {
        m_refreshTimer->start();
    } else {
        m_refreshTimer->stop();
        const PortIdentity identity = Identity(name);
        m_openKernelName = identity.kernelName;
        const std::string summary = identity.Summary();
        m_openAdapter = QString::fromStdString(summary.empty() ? identity.device : summary);
    }
    UpdateKeepNameOffer();
}

void PortListModel::UpdateKeepNameOffer() {
    const bool offered = [this] {
        if (m_currentRow < 0 || !m_openPort.empty()) {
            return false;
        }
        const Row& row = m_rows[static_cast<std::size_t>(m_currentRow)];
        return !row.byIdLink.isEmpty() &&
               PinnedTarget(m_scanner.table(), row.name.toStdString()) != row.byIdLink.toStdString();
    }();
    if (offered != m_keepNameOffered) {
        m_keepNameOffered = offered;
        emit keepNameOfferChanged(offered);
    }
}

void PortListModel::KeepAdapterName() {
    if (m_currentRow < 0) {
        return;
    }
    const Row row = m_rows[static_cast<std::size_t>(m_currentRow)];
    if (row.byIdLink.isEmpty() || row.name.isEmpty()) {
        return;
    }
    std::string error;
    if (!PinPortName(m_scanner.table(), row.name.toStdString(), row.byIdLink.toStdString(), error)) {
        emit keepNameFailed(row.name, QString::fromStdString(error));
        return;
    }
    m_pickedPort = row.name;
    RefreshPortList();
}

void PortListModel::OnPortMonitorEvents() {
    bool changed = false;
    bool openAdapterRemoved = false;
    for (const PortMonitor::Event& e : m_portMonitor->Drain()) {
        changed = true;
        if (e.action == "remove" && !m_openKernelName.empty() && e.kernelName == m_openKernelName) {
            openAdapterRemoved = true;
        }
    }
    if (changed) {
        m_scanner.Invalidate();
    }
    if (openAdapterRemoved) {
        m_openKernelName.clear();
        const QString adapter = m_openAdapter; // a receiver that closes the port clears the member
        emit openPortGone(adapter);            // the form closes the port and refreshes the list then
    } else if (changed && m_openPort.empty()) {
        OnTimer(kRefreshTimerId);
    }
}
