#include "FormSetupBuilder.h"

#include "CColorButton.h"
#include "CColorProgressBar.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "DialogUnits.h"
#include "FormSetupLayout.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace {

// The form's texts belong to the translation context of the form that shows them.
QString FormText(const char* text) {
    return QCoreApplication::translate("CFormSetup", text);
}

// Names of the form's controls in tests and style sheets: "id2000", ...
QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

// The template's height is the height with the list open; the closed box is as tall as the style makes it,
// and the open list shows as many rows as fit the template's height.
void FitPortList(QComboBox* list, QRect& rect, const DialogUnits& du) {
    const int closedHeight = std::max(list->sizeHint().height(), du.y(12));
    const int rowHeight = std::max(1, list->fontMetrics().height() + 2);
    list->setMaxVisibleItems(std::max(3, (rect.height() - closedHeight) / rowHeight));
    rect.setHeight(closedHeight);
}

} // namespace

FormSetupControls BuildFormSetup(QWidget* form) {
    FormSetupControls c;
    form->setFont(DialogFont());
    form->setObjectName(QStringLiteral("formSetup"));
    const DialogUnits du;
    form->setFixedSize(du.x(kFormSetupWidth), du.y(kFormSetupHeight));

    std::vector<QWidget*> tabOrder;
    std::vector<QGroupBox*> groups;
    for (const FormControl& fc : FormSetupLayout()) {
        const QString text = fc.text != nullptr ? FormText(fc.text) : QString();
        QRect rect = du.rect(fc.x, fc.y, fc.width, fc.height);
        QWidget* w = nullptr;
        const int id = fc.id;
        switch (fc.kind) {
        case FormControlKind::Group: {
            auto* box = new QGroupBox(text, form);
            box->setFocusPolicy(Qt::NoFocus);
            groups.push_back(box);
            w = box;
            break;
        }
        case FormControlKind::PositionButton:
            w = c.positions.at(id - IDC_POSITION1) = new CColorButton(text, form);
            break;
        case FormControlKind::CameraButton:
            w = c.cameras.at(id - IDC_CAMERA1) = new CColorButton(text, form);
            break;
        case FormControlKind::PortList:
            c.portList = new QComboBox(form);
            c.portList->setEditable(false);
            FitPortList(c.portList, rect, du);
            c.keepName = new QAction(QCoreApplication::translate("CFormSetup", "Keep this adapter's name"),
                                     c.portList);
            c.keepName->setEnabled(false);
            c.portList->addAction(c.keepName);
            c.portList->setContextMenuPolicy(Qt::ActionsContextMenu);
            w = c.portList;
            break;
        case FormControlKind::LevelBar:
            w = c.levels.at(id - IDC_LEVEL1) = new CLevelBar(form);
            break;
        case FormControlKind::LevelText:
            w = c.levelTexts.at(id - IDC_LEVEL_TEXT1) = new CLevelEdit(text, form);
            break;
        case FormControlKind::PushButton: {
            auto* b = new QPushButton(text, form);
            if (id == IDC_OPEN_PORT) {
                c.openPort = b;
            } else if (id == IDC_DOWNLOAD) {
                c.download = b;
            }
            w = b;
            break;
        }
        case FormControlKind::Progress:
            c.progress = new CColorProgressBar(form);
            w = c.progress;
            break;
        case FormControlKind::CheckBox:
            c.live = new QCheckBox(QCoreApplication::translate("CFormSetup", "Live"), form);
            c.live->setToolTip(QCoreApplication::translate(
                "CFormSetup", "Send every change to the controller as it is made"));
            w = c.live;
            break;
        case FormControlKind::StateText:
            c.controllerLine = new QLabel(form);
            c.controllerLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            w = c.controllerLine;
            break;
        }
        w->setGeometry(rect);
        if (id != 0) {
            w->setObjectName(ControlName(id));
            w->setProperty("controlId", id);
            c.byId[id] = w;
        }
        if (w->focusPolicy() != Qt::NoFocus) {
            tabOrder.push_back(w);
        }
    }
    // Group boxes frame the controls and must not take their clicks.
    for (QGroupBox* box : groups) {
        box->lower();
    }
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
    return c;
}
