#include "FormSetupTexts.h"

#include "FormSetupLayout.h"

#include <QCoreApplication>
#include <QLocale>

namespace FormSetupTexts {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("CFormSetup", text);
}

QString OperatorMessage(const char* chinese, const char* english) {
    QString text = QString::fromUtf8(chinese);
    if (QLocale().language() != QLocale::Chinese) {
        text += QLatin1Char('\n') + QString::fromLatin1(english);
    }
    return text;
}

} // namespace

QString OpenPort() {
    return tr(kOpenPortLabel);
}

QString ClosePort() {
    return QCoreApplication::translate("CFormSetup", "Close Port");
}

QString PortBusy() {
    return OperatorMessage("串口已被占用！", "The serial port is already in use.");
}

QString Downloading() {
    return OperatorMessage(
        "数据下载中, 在进度条变成绿色之前, 请不要断电或其他操作!",
        "Downloading: do not switch off or do anything else until the progress bar turns green.");
}

QString LineLost(const QString& portName, const QString& adapter, bool wasLive) {
    QString text =
        QCoreApplication::translate("CFormSetup", "The adapter of %1 was unplugged: %2.\nThe port is "
                                                  "closed; plug the adapter in and press Open Port.")
            .arg(portName, adapter.isEmpty() ? portName : adapter);
    if (wasLive) {
        text +=
            QLatin1Char(' ') +
            QCoreApplication::translate(
                "CFormSetup",
                "Live is off; the controller may not hold the last change. Tick Live again after Open Port.");
    }
    return text;
}

QString DownloadNotStarted(DownloadStartResult started) {
    QString why;
    switch (started) {
    case DownloadStartResult::AlreadyRunning:
        why = QCoreApplication::translate("CFormSetup", "a download is already running");
        break;
    case DownloadStartResult::NoThread:
        why = QCoreApplication::translate("CFormSetup", "the system could not start the download thread");
        break;
    default:
        why = QCoreApplication::translate("CFormSetup", "there is no port to write to");
        break;
    }
    return QCoreApplication::translate("CFormSetup", "The download could not be started: %1.").arg(why);
}

QString DownloadFailed(QString failure, bool portClosed) {
    if (!failure.isEmpty()) {
        failure[0] = failure[0].toUpper();
    }
    const QString what =
        portClosed
            ? QCoreApplication::translate(
                  "CFormSetup", "plug the adapter in (or check the cable), open the port and download again.")
            : QCoreApplication::translate("CFormSetup", "download again.");
    return failure + QLatin1Char('.') + QLatin1Char('\n') +
           QCoreApplication::translate("CFormSetup", "The controller holds an incomplete recipe; %1")
               .arg(what);
}

QString LiveFailed(const QString& portName, const QString& errorText, bool portClosed) {
    const QString what =
        portClosed ? QCoreApplication::translate(
                         "CFormSetup",
                         "Plug the adapter in (or check the cable), open the port and tick Live again.")
                   : QCoreApplication::translate("CFormSetup", "Tick Live to send changes again.");
    return QCoreApplication::translate(
               "CFormSetup", "Sending a live frame to %1 failed: %2.\nLive is off; the controller may "
                             "not hold the last change. %3")
        .arg(portName, errorText, what);
}

} // namespace FormSetupTexts
