#pragma once

#include "CCmdTarget.h"
#include "Recipe.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class CKAVODoc;
class QUndoStack;

// The edit history of the recipe and the Edit commands (Undo, Redo, Cut, Copy, Paste) plus All LED Off/ON.
// Every edit is made through the document's setters and recorded here as one undoable step of one camera
// and position; undo and redo go through the same setters, update the views and bring the camera and
// position of the step on screen. The history is clean where the recipe was last opened, made new or
// saved: there the recipe is unmodified. New and Open empty it.
class CRecipeEditor : public QObject, public CCmdTarget {
    Q_OBJECT

  public:
    // The private clipboard form: the 24 bytes of PositionBytes.
    static constexpr const char* kPositionMimeType = "application/x-kavo-position";

    explicit CRecipeEditor(CKAVODoc* doc, QObject* parent = nullptr);
    ~CRecipeEditor() override;

    QUndoStack* UndoStack() const { return m_stack; }

    // A step or release of a channel's slider at the current camera and position. Steps of one slider
    // follow each other into one undoable step until EndBurst (the mouse button or key let go, the focus
    // gone) or any other edit.
    void SlideLevel(int channel, std::uint8_t level);
    void EndBurst();
    // A level typed for a channel of the current camera and position: one undoable step.
    void TypeLevel(int channel, std::uint8_t level);
    // Toggles step (1..16) of channel (1..8) at the current camera and position: one undoable step.
    void ToggleStep(int channel, int step);

    void OnAllLedOff();
    void OnAllLedOn();
    void OnEditUndo();
    void OnEditRedo();
    // The current camera and position to the clipboard, in both forms.
    void OnEditCopy();
    // Copy, then the new-recipe values at the current camera and position.
    void OnEditCut();
    // The clipboard's position into the current camera and position; text that does not read is
    // explained in a message and changes nothing.
    void OnEditPaste();
    // The clipboard holds a form Paste can take: the private bytes or text.
    bool CanPaste() const;

    // The undo text shown after "Undo" ("Slider", "All LED ON", ...).
    static QString SliderText();

  private:
    // Runs change, which edits (camera, position) through the document's setters, and records what it did
    // as one step named text. mergeable steps join the previous step of the same burst. A change that
    // changed nothing is recorded only with keepUnchanged (an explicit command such as All LED Off).
    void Record(const QString& text, int camera, int position, int channel, bool mergeable,
                const std::function<void()>& change, bool keepUnchanged = false);
    void AllLed(UINT id, const std::function<void()>& change);

    CKAVODoc* m_pDocument;
    QUndoStack* m_stack;
    // Steps of one slider merge while this stays the same.
    int m_burst = 0;
};
