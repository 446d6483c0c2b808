#pragma once

#include "DownloadWorker.h"

#include <QString>

// The setup form's own words: button texts and the messages it shows for the session's news. Looked up
// when shown, so that they come in the language of the translation installed by then (context
// "CFormSetup").
namespace FormSetupTexts {

QString OpenPort();
QString ClosePort();
// The two operator messages are Chinese in every language; where the program does not speak Chinese an
// English line below tells an operator who reads no Chinese the same.
QString PortBusy();
QString Downloading();

// The adapter of portName (shown as adapter) went away and the port is closed; wasLive: Live ended with it.
QString LineLost(const QString& portName, const QString& adapter, bool wasLive);
QString DownloadNotStarted(DownloadStartResult started);
// failure: the download's failure in plain words; portClosed: the device is gone and the port closed.
QString DownloadFailed(QString failure, bool portClosed);
QString LiveFailed(const QString& portName, const QString& errorText, bool portClosed);

} // namespace FormSetupTexts
