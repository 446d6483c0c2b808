#pragma once

#include <QtGlobal>

#include <span>

// Dialog template of the setup form and the ids of its controls.
constexpr int IDD_FORM_SETUP = 310;
constexpr int IDC_POSITION1 = 2000; // P1..P5: 2000..2004
constexpr int IDC_CAMERA1 = 2005;   // C1..C3: 2005..2007
constexpr int IDC_PORT_LIST = 1017;
constexpr int IDC_OPEN_PORT = 1025;
constexpr int IDC_DOWNLOAD = 1026;
constexpr int IDC_PROGRESS = 1027;
constexpr int IDC_LIVE = 1028;             // the Live check box: edits go to the controller as they are made
constexpr int IDC_CONTROLLER_STATE = 1029; // what the controller holds, as far as this tool delivered it
constexpr int IDC_LEVEL1 = 3000;           // channel sliders 1..8: 3000..3007
constexpr int IDC_LEVEL_TEXT1 = 4000;      // value labels 1..8: 4000..4007

// The text "Open Port" of its button, which also reads it again when the port closes. The template's texts
// are English source texts for the translation tools (context "CFormSetup"); the form shows them translated.
inline constexpr const char* kOpenPortLabel = QT_TRANSLATE_NOOP("CFormSetup", "Open Port");

enum class FormControlKind {
    Group,          // a framed title; no id, no focus, behind the controls it frames
    PositionButton, // P1..P5, a colour button
    CameraButton,   // C1..C3, a colour button
    PortList,       // the drop-down list; its height is the height with the list open
    LevelBar,       // a channel's horizontal scroll bar
    LevelText,      // a channel's value label
    PushButton,     // Open Port and Download
    Progress,       // the download's progress bar
    CheckBox,       // Live
    StateText,      // the controller line
};

// One control of the template: id (0 for a group), kind, rectangle in dialog units and first text.
struct FormControl {
    int id;
    FormControlKind kind;
    int x, y, width, height;
    const char* text;
};

// The form's size in dialog units.
constexpr int kFormSetupWidth = 323;
constexpr int kFormSetupHeight = 292;

// The controls in template order, which is also their tab order.
std::span<const FormControl> FormSetupLayout();
