#pragma once

class CDocument;

// A view of a document. Views are widgets elsewhere; the document only knows this interface.
class CViewBase {
  public:
    CViewBase() = default;
    CViewBase(const CViewBase&) = delete;
    CViewBase& operator=(const CViewBase&) = delete;
    virtual ~CViewBase();

    CDocument* GetDocument() const { return m_pDocument; }

    // First update after New or Open; by default the same as an update.
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0); }
    // The document changed; sender is the view that made the change, or none.
    virtual void OnUpdate(CViewBase* sender, long hint) = 0;

  private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};
