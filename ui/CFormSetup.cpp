#include "CFormSetup.h"

#include "CKAVODoc.h"
#include "DialogUnits.h"

CFormSetup::CFormSetup(QWidget* parent) : QScrollArea(parent), m_form(new QWidget) {
    const DialogUnits du;
    m_form->setFixedSize(du.x(323), du.y(292));
    setWidget(m_form);
    setFrameShape(QFrame::NoFrame);
}

CFormSetup::~CFormSetup() = default;

CKAVODoc* CFormSetup::GetDocument() const {
    return static_cast<CKAVODoc*>(CViewBase::GetDocument());
}

void CFormSetup::OnInitialUpdate() {
    OnUpdate(nullptr, 0);
}

void CFormSetup::OnUpdate(CViewBase*, long) {}
