#include "StringTable.h"

#include <QCoreApplication>
#include <QHash>

namespace {

// The English source texts, marked for the translation tools; LoadString gives them in the language of the
// installed translation.
const QHash<UINT, const char*>& Table() {
    static const QHash<UINT, const char*> table = {
        {IDP_OLE_INIT_FAILED,
         QT_TRANSLATE_NOOP(
             "StringTable",
             "OLE initialization failed.  Make sure that the OLE libraries are the correct version.")},
        {ID_INDICATOR_CH, QT_TRANSLATE_NOOP("StringTable", "ch quantity")},
        {ID_INDICATOR_STEP, QT_TRANSLATE_NOOP("StringTable", "step quantity")},
        {ID_INDICATOR_COORD, QT_TRANSLATE_NOOP("StringTable", "coordinate")},
        {IDR_MAINFRAME,
         QT_TRANSLATE_NOOP("StringTable",
                           "KAVO\n\nKAVO\nKAVO Files (*.aid)\n.aid\nKAVO.Document\nKAVO.Document")},
        {AFX_IDS_APP_TITLE, QT_TRANSLATE_NOOP("StringTable", "KAVO")},
        {AFX_IDS_IDLEMESSAGE, QT_TRANSLATE_NOOP("StringTable", "Ready")},
        {AFX_IDS_UNTITLED, QT_TRANSLATE_NOOP("StringTable", "Untitled")},
        {AFX_IDP_FAILED_TO_OPEN_DOC, QT_TRANSLATE_NOOP("StringTable", "Failed to open document.")},
        {AFX_IDP_FAILED_TO_SAVE_DOC, QT_TRANSLATE_NOOP("StringTable", "Failed to save document.")},
        {AFX_IDP_ASK_TO_SAVE, QT_TRANSLATE_NOOP("StringTable", "Save changes to %1?")},
        {AFX_IDP_FAILED_TO_CREATE_DOC, QT_TRANSLATE_NOOP("StringTable", "Failed to create empty document.")},
        {AFX_IDP_FAILED_INVALID_FORMAT, QT_TRANSLATE_NOOP("StringTable", "Unexpected file format.")},
        {AFX_IDP_FILE_GENERIC,
         QT_TRANSLATE_NOOP("StringTable", "An unexpected error occurred while accessing %1.")},
        {AFX_IDP_FILE_NOT_FOUND, QT_TRANSLATE_NOOP("StringTable", "%1 was not found.")},
        {AFX_IDP_FILE_BAD_PATH, QT_TRANSLATE_NOOP("StringTable", "%1 contains an invalid path.")},
        {AFX_IDP_FILE_TOO_MANY_OPEN,
         QT_TRANSLATE_NOOP("StringTable", "%1 could not be opened because there are too many open files.")},
        {AFX_IDP_FILE_ACCESS_DENIED, QT_TRANSLATE_NOOP("StringTable", "Access to %1 was denied.")},
        {AFX_IDP_FILE_INVALID_FILE,
         QT_TRANSLATE_NOOP("StringTable", "An invalid file handle was associated with %1.")},
        {AFX_IDP_FILE_REMOVE_CURRENT,
         QT_TRANSLATE_NOOP("StringTable", "%1 could not be removed because it is the current directory.")},
        {AFX_IDP_FILE_DIR_FULL,
         QT_TRANSLATE_NOOP("StringTable", "%1 could not be created because the directory is full.")},
        {AFX_IDP_FILE_BAD_SEEK, QT_TRANSLATE_NOOP("StringTable", "Seek failed on %1")},
        {AFX_IDP_FILE_HARD_IO,
         QT_TRANSLATE_NOOP("StringTable", "A hardware I/O error was reported while accessing %1.")},
        {AFX_IDP_FILE_SHARING,
         QT_TRANSLATE_NOOP("StringTable", "A sharing violation occurred while accessing %1.")},
        {AFX_IDP_FILE_LOCKING,
         QT_TRANSLATE_NOOP("StringTable", "A locking violation occurred while accessing %1.")},
        {AFX_IDP_FILE_DISKFULL, QT_TRANSLATE_NOOP("StringTable", "Disk full while accessing %1.")},
        {AFX_IDP_FILE_EOF,
         QT_TRANSLATE_NOOP("StringTable", "An attempt was made to access %1 past its end.")},
        {AFX_IDP_FILE_IS_FIFO, QT_TRANSLATE_NOOP("StringTable", "%1 is a FIFO, not a document file.")},
        {AFX_IDP_FILE_IS_SOCKET, QT_TRANSLATE_NOOP("StringTable", "%1 is a socket, not a document file.")},
        {AFX_IDP_FILE_IS_DEVICE, QT_TRANSLATE_NOOP("StringTable", "%1 is a device, not a document file.")},

        // Commands: status-bar prompt, then the tooltip after the newline.
        {ID_FILE_NEW, QT_TRANSLATE_NOOP("StringTable", "Create a new document\nNew")},
        {ID_FILE_OPEN, QT_TRANSLATE_NOOP("StringTable", "Open an existing document\nOpen")},
        {ID_FILE_CLOSE, QT_TRANSLATE_NOOP("StringTable", "Close the active document\nClose")},
        {ID_FILE_SAVE, QT_TRANSLATE_NOOP("StringTable", "Save the active document\nSave")},
        {ID_FILE_SAVE_AS,
         QT_TRANSLATE_NOOP("StringTable", "Save the active document with a new name\nSave As")},
        {ID_FILE_PRINT_SETUP,
         QT_TRANSLATE_NOOP("StringTable", "Change the printer and printing options\nPrint Setup")},
        {ID_FILE_PRINT, QT_TRANSLATE_NOOP("StringTable", "Print the active document\nPrint")},
        {ID_FILE_PRINT_DIRECT,
         QT_TRANSLATE_NOOP("StringTable", "Print the active document using current options\nQuick Print")},
        {ID_FILE_PRINT_PREVIEW, QT_TRANSLATE_NOOP("StringTable", "Display full pages\nPrint Preview")},
        {ID_EDIT_COPY,
         QT_TRANSLATE_NOOP("StringTable", "Copy the selection and put it on the Clipboard\nCopy")},
        {ID_EDIT_CUT, QT_TRANSLATE_NOOP("StringTable", "Cut the selection and put it on the Clipboard\nCut")},
        {ID_EDIT_PASTE, QT_TRANSLATE_NOOP("StringTable", "Insert Clipboard contents\nPaste")},
        {ID_EDIT_UNDO, QT_TRANSLATE_NOOP("StringTable", "Undo the last action\nUndo")},
        {ID_EDIT_REDO, QT_TRANSLATE_NOOP("StringTable", "Redo the previously undone action\nRedo")},
        {ID_APP_ABOUT, QT_TRANSLATE_NOOP("StringTable",
                                         "Display program information, version number and copyright\nAbout")},
        {ID_APP_EXIT,
         QT_TRANSLATE_NOOP("StringTable", "Quit the application; prompts to save documents\nExit")},
        {ID_NEXT_PANE, QT_TRANSLATE_NOOP("StringTable", "Switch to the next window pane\nNext Pane")},
        {ID_PREV_PANE,
         QT_TRANSLATE_NOOP("StringTable", "Switch back to the previous window pane\nPrevious Pane")},
        {ID_VIEW_TOOLBAR, QT_TRANSLATE_NOOP("StringTable", "Show or hide the toolbar\nToggle ToolBar")},
        {ID_VIEW_STATUS_BAR,
         QT_TRANSLATE_NOOP("StringTable", "Show or hide the status bar\nToggle Status Bar")},
        {ID_INDICATOR_CAPS, QT_TRANSLATE_NOOP("StringTable", "CAP")},
        {ID_INDICATOR_NUM, QT_TRANSLATE_NOOP("StringTable", "NUM")},
        {ID_INDICATOR_SCRL, QT_TRANSLATE_NOOP("StringTable", "SCRL")},
        {ID_ALL_LED_OFF, QT_TRANSLATE_NOOP("StringTable", "All LED Off")},
        {ID_ALL_LED_ON, QT_TRANSLATE_NOOP("StringTable", "All LED ON")},
    };
    return table;
}

} // namespace

QString LoadString(UINT id) {
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
        return QCoreApplication::translate("StringTable", "Open this document");
    }
    const char* text = Table().value(id, nullptr);
    return text != nullptr ? QCoreApplication::translate("StringTable", text) : QString();
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
