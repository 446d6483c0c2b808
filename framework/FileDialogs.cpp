#include "FileDialogs.h"

#include "CommandIds.h"
#include "StringTable.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>

namespace {

// Field n of the document string: window title, document name, File New name, filter name,
// filter extension, file type id, file type name.
QString DocString(int field) {
    return LoadString(IDR_MAINFRAME).section(QLatin1Char('\n'), field, field);
}

// The filter that lists every file, in the language of the installed translation.
QString AllFilesFilter() {
    return QCoreApplication::translate("FileDialogs", "All Files (*.*)");
}

} // namespace

// "All Files (*.*)" is meant to show every file; on Linux "*.*" would hide the names without a dot.
// The dialog keeps the filter's text and lists everything while it is chosen.
void ShowAllFilesUnderAllFilesFilter(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        if (auto* model = dialog.findChild<QFileSystemModel*>()) {
            if (filter == AllFilesFilter()) {
                model->setNameFilters({QStringLiteral("*")});
            }
        }
    });
}

namespace {

class CQtFileDialogs : public IFileDialogHandler {
  public:
    QString GetOpenFileName(QWidget* parent, const QString& filters) override {
        QFileDialog dialog(parent, QString(), QString(), filters);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        ShowAllFilesUnderAllFilesFilter(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        return dialog.selectedFiles().constFirst();
    }

    QString GetSaveFileName(QWidget* parent, const QString& filters, const QString& suggestedName,
                            const QString& defaultSuffix) override {
        QFileDialog dialog(parent, QString(), QString(), filters);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        ShowAllFilesUnderAllFilesFilter(dialog);
        if (!suggestedName.isEmpty()) {
            dialog.selectFile(suggestedName);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        return dialog.selectedFiles().constFirst();
    }
};

IFileDialogHandler* g_handler = nullptr;

IFileDialogHandler& Handler() {
    static CQtFileDialogs real;
    return g_handler != nullptr ? *g_handler : real;
}

} // namespace

QString DocumentFilters() {
    return DocString(3) + QLatin1String(";;") + AllFilesFilter();
}

QString AfxGetOpenFileName(QWidget* parent) {
    return Handler().GetOpenFileName(parent, DocumentFilters());
}

QString AfxGetSaveFileName(QWidget* parent, const QString& suggestedName) {
    const QString extension = DocString(4); // ".aid"
    QString name = suggestedName;
    // An untitled recipe is offered as "Untitled.aid".
    if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty()) {
        name += extension;
    }
    return Handler().GetSaveFileName(parent, DocumentFilters(), name, extension.mid(1));
}

IFileDialogHandler* SetFileDialogHandler(IFileDialogHandler* handler) {
    IFileDialogHandler* previous = g_handler;
    g_handler = handler;
    return previous;
}
