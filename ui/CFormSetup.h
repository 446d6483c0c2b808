#pragma once

#include "CViewBase.h"

#include <QScrollArea>

class CKAVODoc;

// The setup form: camera and position buttons, the eight channel sliders, the port and the
// download. It scrolls when the pane is narrower than the form.
class CFormSetup : public QScrollArea, public CViewBase {
    Q_OBJECT

  public:
    explicit CFormSetup(QWidget* parent = nullptr);
    ~CFormSetup() override;

    CKAVODoc* GetDocument() const;

    void OnInitialUpdate() override;
    void OnUpdate(CViewBase* sender, long hint) override;

  private:
    QWidget* m_form;
};
