#include "StringTable.h"

#include <QHash>

namespace {

const QHash<UINT, QString>& Table() {
    static const QHash<UINT, QString> table = {
        {IDP_OLE_INIT_FAILED,
         QStringLiteral(
             "OLE initialization failed.  Make sure that the OLE libraries are the correct version.")},
        {ID_INDICATOR_CH, QStringLiteral("ch quantity")},
        {ID_INDICATOR_STEP, QStringLiteral("step quantity")},
        {ID_INDICATOR_COORD, QStringLiteral("coordinate")},
        {IDR_MAINFRAME,
         QStringLiteral("KAVO\n\nKAVO\nKAVO Files (*.aid)\n.aid\nKAVO.Document\nKAVO.Document")},
        {AFX_IDS_APP_TITLE, QStringLiteral("KAVO")},
        {AFX_IDS_IDLEMESSAGE, QStringLiteral("Ready")},
        {AFX_IDS_UNTITLED, QStringLiteral("Untitled")},
        {AFX_IDP_FAILED_TO_OPEN_DOC, QStringLiteral("Failed to open document.")},
        {AFX_IDP_FAILED_TO_SAVE_DOC, QStringLiteral("Failed to save document.")},
        {AFX_IDP_ASK_TO_SAVE, QStringLiteral("Save changes to %1?")},
        {AFX_IDP_FAILED_TO_CREATE_DOC, QStringLiteral("Failed to create empty document.")},
        {AFX_IDP_FAILED_INVALID_FORMAT, QStringLiteral("Unexpected file format.")},
        {AFX_IDP_FILE_GENERIC, QStringLiteral("An unexpected error occurred while accessing %1.")},
        {AFX_IDP_FILE_NOT_FOUND, QStringLiteral("%1 was not found.")},
        {AFX_IDP_FILE_BAD_PATH, QStringLiteral("%1 contains an invalid path.")},
        {AFX_IDP_FILE_TOO_MANY_OPEN,
         QStringLiteral("%1 could not be opened because there are too many open files.")},
        {AFX_IDP_FILE_ACCESS_DENIED, QStringLiteral("Access to %1 was denied.")},
        {AFX_IDP_FILE_INVALID_FILE, QStringLiteral("An invalid file handle was associated with %1.")},
        {AFX_IDP_FILE_REMOVE_CURRENT,
         QStringLiteral("%1 could not be removed because it is the current directory.")},
        {AFX_IDP_FILE_DIR_FULL, QStringLiteral("%1 could not be created because the directory is full.")},
        {AFX_IDP_FILE_BAD_SEEK, QStringLiteral("Seek failed on %1")},
        {AFX_IDP_FILE_HARD_IO, QStringLiteral("A hardware I/O error was reported while accessing %1.")},
        {AFX_IDP_FILE_SHARING, QStringLiteral("A sharing violation occurred while accessing %1.")},
        {AFX_IDP_FILE_LOCKING, QStringLiteral("A locking violation occurred while accessing %1.")},
        {AFX_IDP_FILE_DISKFULL, QStringLiteral("Disk full while accessing %1.")},
        {AFX_IDP_FILE_EOF, QStringLiteral("An attempt was made to access %1 past its end.")},
        {AFX_IDP_FILE_IS_FIFO, QStringLiteral("%1 is a FIFO, not a document file.")},
        {AFX_IDP_FILE_IS_SOCKET, QStringLiteral("%1 is a socket, not a document file.")},
        {AFX_IDP_FILE_IS_DEVICE, QStringLiteral("%1 is a device, not a document file.")},

        // Commands: status-bar prompt, then the tooltip after the newline.
        {ID_FILE_NEW, QStringLiteral("Create a new document\nNew")},
        {ID_FILE_OPEN, QStringLiteral("Open an existing document\nOpen")},
        {ID_FILE_CLOSE, QStringLiteral("Close the active document\nClose")},
        {ID_FILE_SAVE, QStringLiteral("Save the active document\nSave")},
        {ID_FILE_SAVE_AS, QStringLiteral("Save the active document with a new name\nSave As")},
        {ID_FILE_PRINT_SETUP, QStringLiteral("Change the printer and printing options\nPrint Setup")},
        {ID_FILE_PRINT, QStringLiteral("Print the active document\nPrint")},
        {ID_FILE_PRINT_DIRECT,
         QStringLiteral("Print the active document using current options\nQuick Print")},
        {ID_FILE_PRINT_PREVIEW, QStringLiteral("Display full pages\nPrint Preview")},
        {ID_EDIT_COPY, QStringLiteral("Copy the selection and put it on the Clipboard\nCopy")},
        {ID_EDIT_CUT, QStringLiteral("Cut the selection and put it on the Clipboard\nCut")},
        {ID_EDIT_PASTE, QStringLiteral("Insert Clipboard contents\nPaste")},
        {ID_EDIT_UNDO, QStringLiteral("Undo the last action\nUndo")},
        {ID_EDIT_REDO, QStringLiteral("Redo the previously undone action\nRedo")},
        {ID_APP_ABOUT, QStringLiteral("Display program information, version number and copyright\nAbout")},
        {ID_APP_EXIT, QStringLiteral("Quit the application; prompts to save documents\nExit")},
        {ID_NEXT_PANE, QStringLiteral("Switch to the next window pane\nNext Pane")},
        {ID_PREV_PANE, QStringLiteral("Switch back to the previous window pane\nPrevious Pane")},
        {ID_VIEW_TOOLBAR, QStringLiteral("Show or hide the toolbar\nToggle ToolBar")},
        {ID_VIEW_STATUS_BAR, QStringLiteral("Show or hide the status bar\nToggle Status Bar")},
        {ID_INDICATOR_CAPS, QStringLiteral("CAP")},
        {ID_INDICATOR_NUM, QStringLiteral("NUM")},
        {ID_INDICATOR_SCRL, QStringLiteral("SCRL")},
        {ID_ALL_LED_OFF, QStringLiteral("All LED Off")},
        {ID_ALL_LED_ON, QStringLiteral("All LED ON")},
    };
    return table;
}

} // namespace

QString LoadString(UINT id) {
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
        return QStringLiteral("Open this document");
    }
    return Table().value(id);
}

QString FormatString1(UINT id, const QString& arg) {
    QString text = LoadString(id);
    const qsizetype at = text.indexOf(QLatin1String("%1"));
    if (at >= 0) {
        text.replace(at, 2, arg);
    }
    return text;
}

QString CommandPrompt(UINT id) {
    return LoadString(id).section(QLatin1Char('\n'), 0, 0);
}

QString CommandTooltip(UINT id) {
    const QString text = LoadString(id);
    const qsizetype nl = text.indexOf(QLatin1Char('\n'));
    return nl < 0 ? QString() : text.mid(nl + 1);
}
