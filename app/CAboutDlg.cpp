#include "CAboutDlg.h"

#include "DialogUnits.h"
#include "ProgramResources.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About KAVO"));
    setFont(DialogFont());
    const DialogUnits du;
    setFixedSize(du.x(170), du.y(62));

    auto* icon = new QLabel(this);
    const QRect iconRect = du.rect(14, 14, 20, 20);
    icon->setPixmap(ProgramIcon().pixmap(qMin(iconRect.width(), iconRect.height())));
    icon->setGeometry(iconRect);

    m_version = new QLabel(QStringLiteral("KAVO V1.00"), this);
    m_version->setGeometry(du.rect(48, 15, 52, 8));
    m_version->adjustSize();

    m_notice = new QLabel(tr("Lighting setup for the 3-camera, 8-channel LED controller"), this);
    m_notice->setGeometry(du.rect(41, 31, 114, 8));
    m_notice->setMinimumWidth(du.x(114));
    m_notice->adjustSize();

    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setGeometry(du.rect(113, 41, 50, 14));
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    // The notice may be wider than its box in some fonts: make room rather than cut it.
    const int needed = m_notice->x() + m_notice->width() + du.x(7);
    if (needed > width()) {
        setFixedSize(needed, height());
    }
}
