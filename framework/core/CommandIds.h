#pragma once

// Command, control-bar and string ids. The numbers are fixed: menus, accelerators, the toolbar,
// the string table and the tests all refer to them.

using UINT = unsigned int;

// File
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_FILE_CLOSE = 57602;
constexpr UINT ID_FILE_SAVE = 57603;
constexpr UINT ID_FILE_SAVE_AS = 57604;
constexpr UINT ID_FILE_PRINT_SETUP = 57606;
constexpr UINT ID_FILE_PRINT = 57607;
constexpr UINT ID_FILE_PRINT_DIRECT = 57608;
constexpr UINT ID_FILE_PRINT_PREVIEW = 57609;
constexpr UINT ID_FILE_MRU_FILE1 = 57616; // recent-file entries 57616..57631
constexpr UINT ID_FILE_MRU_LAST = 57631;

// Edit
constexpr UINT ID_EDIT_COPY = 57634;
constexpr UINT ID_EDIT_CUT = 57635;
constexpr UINT ID_EDIT_PASTE = 57637;
constexpr UINT ID_EDIT_UNDO = 57643;
constexpr UINT ID_EDIT_REDO = 57644;

// Application
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_NEXT_PANE = 57680;
constexpr UINT ID_PREV_PANE = 57681;

// View and control bars
constexpr UINT ID_VIEW_TOOLBAR = 59392;
constexpr UINT ID_VIEW_STATUS_BAR = 59393;
constexpr UINT AFX_IDW_TOOLBAR = 59392;
constexpr UINT AFX_IDW_STATUS_BAR = 59393;
constexpr UINT AFX_IDW_PANE_FIRST = 59648;
constexpr UINT ID_SEPARATOR = 0;
constexpr UINT ID_INDICATOR_CAPS = 59137;
constexpr UINT ID_INDICATOR_NUM = 59138;
constexpr UINT ID_INDICATOR_SCRL = 59139;

// Status bar panes of the pattern view
constexpr UINT ID_INDICATOR_CH = 101;
constexpr UINT ID_INDICATOR_STEP = 102;
constexpr UINT ID_INDICATOR_COORD = 103;

// The recipe's own commands (toolbar only)
constexpr UINT ID_ALL_LED_OFF = 32781;
constexpr UINT ID_ALL_LED_ON = 32782;

// Resources
constexpr UINT IDR_MAINFRAME = 128; // menu, accelerators, icon, toolbar and document string
constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDD_FORMSETUP = 310;

// Strings
constexpr UINT IDP_OLE_INIT_FAILED = 100;
constexpr UINT AFX_IDS_APP_TITLE = 57344;
constexpr UINT AFX_IDS_IDLEMESSAGE = 57345;
constexpr UINT AFX_IDS_UNTITLED = 61443;
constexpr UINT AFX_IDP_FAILED_TO_OPEN_DOC = 61697;
constexpr UINT AFX_IDP_FAILED_TO_SAVE_DOC = 61698;
constexpr UINT AFX_IDP_ASK_TO_SAVE = 61699;
constexpr UINT AFX_IDP_FAILED_TO_CREATE_DOC = 61700;
constexpr UINT AFX_IDP_FAILED_INVALID_FORMAT = 61728;
constexpr UINT AFX_IDP_FILE_GENERIC = 61857;
constexpr UINT AFX_IDP_FILE_NOT_FOUND = 61858;
constexpr UINT AFX_IDP_FILE_BAD_PATH = 61859;
constexpr UINT AFX_IDP_FILE_TOO_MANY_OPEN = 61860;
constexpr UINT AFX_IDP_FILE_ACCESS_DENIED = 61861;
constexpr UINT AFX_IDP_FILE_INVALID_FILE = 61862;
constexpr UINT AFX_IDP_FILE_REMOVE_CURRENT = 61863;
constexpr UINT AFX_IDP_FILE_DIR_FULL = 61864;
constexpr UINT AFX_IDP_FILE_BAD_SEEK = 61865;
constexpr UINT AFX_IDP_FILE_HARD_IO = 61866;
constexpr UINT AFX_IDP_FILE_SHARING = 61867;
constexpr UINT AFX_IDP_FILE_LOCKING = 61868;
constexpr UINT AFX_IDP_FILE_DISKFULL = 61869;
constexpr UINT AFX_IDP_FILE_EOF = 61870;
// A name that is no file to read a document from (a save there is simply denied access).
constexpr UINT AFX_IDP_FILE_IS_FIFO = 61880;
constexpr UINT AFX_IDP_FILE_IS_SOCKET = 61881;
constexpr UINT AFX_IDP_FILE_IS_DEVICE = 61882;
