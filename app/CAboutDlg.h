#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// "About KAVO": the program icon, "KAVO V1.00", a one-line notice and OK (Enter or Escape close it).
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return m_version; }
    QLabel* NoticeLabel() const { return m_notice; }
    QPushButton* OkButton() const { return m_ok; }

  private:
    QLabel* m_version;
    QLabel* m_notice;
    QPushButton* m_ok;
};
