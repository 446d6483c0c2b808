#include "CViewBase.h"

#include "CDocument.h"

CViewBase::~CViewBase() {
    if (m_pDocument != nullptr) {
        m_pDocument->RemoveView(this);
    }
}
