#pragma once

#include <array>
#include <map>

class CColorButton;
class CColorProgressBar;
class CLevelBar;
class CLevelEdit;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

// The setup form's controls, as BuildFormSetup made them; the form connects and drives them.
struct FormSetupControls {
    std::array<CColorButton*, 3> cameras{};   // C1..C3
    std::array<CColorButton*, 5> positions{}; // P1..P5
    std::array<CLevelBar*, 8> levels{};       // channels 1..8
    std::array<CLevelEdit*, 8> levelTexts{};
    QComboBox* portList = nullptr;
    QAction* keepName = nullptr; // the port list's context menu entry "Keep this adapter's name", disabled
    QPushButton* openPort = nullptr;
    QPushButton* download = nullptr;
    CColorProgressBar* progress = nullptr;
    QCheckBox* live = nullptr;
    QLabel* controllerLine = nullptr;
    std::map<int, QWidget*> byId; // every control with a template id
};

// Lays the controls of FormSetupLayout() out on form, in dialog units of the dialog font, with their
// translated texts, the template's order as the tab order and the groups behind the controls they frame.
// Each control with an id is named "id<id>" (tests, style sheets) and carries the id as "controlId".
FormSetupControls BuildFormSetup(QWidget* form);
