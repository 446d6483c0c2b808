#include "CRecipeEditor.h"

#include "AfxMessageBox.h"
#include "CKAVODoc.h"
#include "PositionFormats.h"
#include "StringTable.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>

namespace {

struct PositionValues {
    Recipe::ChannelLevels levels{};
    Recipe::ChannelMasks masks{};
    friend bool operator==(const PositionValues&, const PositionValues&) = default;
};

PositionValues ValuesAt(const CKAVODoc& doc, int camera, int position) {
    return {doc.LevelsAt(camera, position), doc.MasksAt(camera, position)};
}

constexpr int kSliderCommandId = 1;

// One step of the history: the values of one camera and position before and after. A step of one channel
// (channel 1..8) applies that channel's level and mask; a step of the whole position (channel 0) all of them.
class CPositionEdit : public QUndoCommand {
  public:
    CPositionEdit(CKAVODoc* doc, const QString& text, int camera, int position, int channel,
                  const PositionValues& before, const PositionValues& after, int mergeId, int burst)
        : QUndoCommand(text), m_doc(doc), m_camera(camera), m_position(position), m_channel(channel),
          m_before(before), m_after(after), m_mergeId(mergeId), m_burst(burst) {}

    int id() const override { return m_mergeId; }

    // The edit was made before the step was recorded: the first redo has nothing to do.
    void redo() override {
        if (m_done) {
            Apply(m_after);
        }
        m_done = true;
    }
    void undo() override { Apply(m_before); }

    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const CPositionEdit*>(other);
        if (next->m_burst != m_burst || next->m_camera != m_camera || next->m_position != m_position ||
            next->m_channel != m_channel) {
            return false;
        }
        m_after = next->m_after;
        setObsolete(m_after == m_before); // a burst that came back where it started leaves no step
        return true;
    }

  private:
    void Apply(const PositionValues& values) {
        if (m_channel != 0) {
            const auto k = static_cast<std::size_t>(m_channel - 1);
            m_doc->SetLevel(m_camera, m_position, m_channel, values.levels[k]);
            m_doc->SetMask(m_camera, m_position, m_channel, values.masks[k]);
        } else {
            m_doc->SetPositionValues(m_camera, m_position, values.levels, values.masks);
        }
        // What was undone or redone is shown: its camera and position become the current ones.
        m_doc->SetCurrent(m_camera, m_position);
        m_doc->UpdateAllViews(nullptr, 0);
    }

    CKAVODoc* m_doc;
    int m_camera;
    int m_position;
    int m_channel;
    PositionValues m_before;
    PositionValues m_after;
    int m_mergeId;
    int m_burst;
    bool m_done = false;
};

QString Tr(const char* text) {
    return QCoreApplication::translate("CRecipeEditor", text);
}

} // namespace

CRecipeEditor::CRecipeEditor(CKAVODoc* doc, QObject* parent)
    : QObject(parent), m_pDocument(doc), m_stack(new QUndoStack(this)) {
    SetCommandHandler(ID_EDIT_UNDO, [this] { OnEditUndo(); });
    SetCommandEnabler(ID_EDIT_UNDO, [this] { return m_stack->canUndo(); });
    SetCommandHandler(ID_EDIT_REDO, [this] { OnEditRedo(); });
    SetCommandEnabler(ID_EDIT_REDO, [this] { return m_stack->canRedo(); });
    SetCommandHandler(ID_EDIT_COPY, [this] { OnEditCopy(); });
    SetCommandHandler(ID_EDIT_CUT, [this] { OnEditCut(); });
    SetCommandHandler(ID_EDIT_PASTE, [this] { OnEditPaste(); });
    SetCommandEnabler(ID_EDIT_PASTE, [this] { return CanPaste(); });
    SetCommandHandler(ID_ALL_LED_OFF, [this] { OnAllLedOff(); });
    SetCommandHandler(ID_ALL_LED_ON, [this] { OnAllLedOn(); });

    // The history's clean point is the recipe as opened, made new or saved.
    connect(m_stack, &QUndoStack::cleanChanged, this,
            [this](bool clean) { m_pDocument->OnHistoryCleanChanged(clean); });
    connect(m_pDocument, &CDocument::saved, m_stack, &QUndoStack::setClean);
    connect(m_pDocument, &CDocument::contentsReplaced, m_stack, &QUndoStack::clear);

    // Whoever shows the commands is told when they become usable or not (the texts of Undo and Redo come
    // from the stack itself).
    connect(m_stack, &QUndoStack::canUndoChanged, this, [this] { CommandStateChanged(ID_EDIT_UNDO); });
    connect(m_stack, &QUndoStack::canRedoChanged, this, [this] { CommandStateChanged(ID_EDIT_REDO); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { CommandStateChanged(ID_EDIT_PASTE); });
}

CRecipeEditor::~CRecipeEditor() = default;

QString CRecipeEditor::SliderText() {
    return Tr(QT_TRANSLATE_NOOP("CRecipeEditor", "Slider"));
}

void CRecipeEditor::Record(const QString& text, int camera, int position, int channel, bool mergeable,
                           const std::function<void()>& change, bool keepUnchanged) {
    const PositionValues before = ValuesAt(*m_pDocument, camera, position);
    change();
    const PositionValues after = ValuesAt(*m_pDocument, camera, position);
    if (before == after && !keepUnchanged) {
        return;
    }
    if (!mergeable) {
        EndBurst();
    }
    m_stack->push(new CPositionEdit(m_pDocument, text, camera, position, channel, before, after,
                                    mergeable ? kSliderCommandId : -1, m_burst));
    if (!mergeable) {
        EndBurst();
    }
}

void CRecipeEditor::SlideLevel(int channel, std::uint8_t level) {
    const int camera = m_pDocument->GetCurCamera();
    const int position = m_pDocument->GetCurPosition();
    Record(SliderText(), camera, position, channel, true,
           [&] { m_pDocument->SetLevel(camera, position, channel, level); });
}

void CRecipeEditor::EndBurst() {
    ++m_burst;
}

void CRecipeEditor::TypeLevel(int channel, std::uint8_t level) {
    const int camera = m_pDocument->GetCurCamera();
    const int position = m_pDocument->GetCurPosition();
    Record(Tr(QT_TRANSLATE_NOOP("CRecipeEditor", "Level")), camera, position, channel, false, [&] {
        if (m_pDocument->SetLevel(camera, position, channel, level)) {
            m_pDocument->UpdateAllViews(nullptr, 0);
        }
    });
}

void CRecipeEditor::ToggleStep(int channel, int step) {
    const int camera = m_pDocument->GetCurCamera();
    const int position = m_pDocument->GetCurPosition();
    if (channel < 1 || channel > Recipe::kChannels || step < 1 || step > Recipe::kSteps) {
        return;
    }
    Record(Tr(QT_TRANSLATE_NOOP("CRecipeEditor", "Pattern")), camera, position, channel, false, [&] {
        const std::uint16_t mask = m_pDocument->CurrentMasks()[static_cast<std::size_t>(channel - 1)];
        m_pDocument->SetMask(camera, position, channel,
                             static_cast<std::uint16_t>(mask ^ (1U << (step - 1))));
    });
}

void CRecipeEditor::AllLed(UINT id, const std::function<void()>& change) {
    // The command counts as an edit even where every cell already was so (the recipe is marked modified),
    // so it is a step of its own that Undo can take back.
    Record(CommandPrompt(id), m_pDocument->GetCurCamera(), m_pDocument->GetCurPosition(), 0, false, change,
           true);
}

void CRecipeEditor::OnAllLedOff() {
    AllLed(ID_ALL_LED_OFF, [this] { m_pDocument->OnAllLedOff(); });
}

void CRecipeEditor::OnAllLedOn() {
    AllLed(ID_ALL_LED_ON, [this] { m_pDocument->OnAllLedOn(); });
}

void CRecipeEditor::OnEditUndo() {
    EndBurst();
    m_stack->undo();
}

void CRecipeEditor::OnEditRedo() {
    EndBurst();
    m_stack->redo();
}

void CRecipeEditor::OnEditCopy() {
    const int camera = m_pDocument->GetCurCamera();
    const int position = m_pDocument->GetCurPosition();
    const PositionValues values = ValuesAt(*m_pDocument, camera, position);
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kPositionMimeType), PositionBytes(values.levels, values.masks));
    mime->setText(FormatPosition(camera, position, values.levels, values.masks));
    QGuiApplication::clipboard()->setMimeData(mime);
}

void CRecipeEditor::OnEditCut() {
    OnEditCopy();
    const int camera = m_pDocument->GetCurCamera();
    const int position = m_pDocument->GetCurPosition();
    Record(CommandTooltip(ID_EDIT_CUT), camera, position, 0, false, [&] {
        Recipe::ChannelLevels levels;
        levels.fill(Recipe::kNewLevel);
        Recipe::ChannelMasks masks;
        masks.fill(Recipe::kNewMask);
        if (m_pDocument->SetPositionValues(camera, position, levels, masks)) {
            m_pDocument->UpdateAllViews(nullptr, 0);
        }
    });
}

bool CRecipeEditor::CanPaste() const {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime == nullptr) {
        return false;
    }
    if (mime->data(QString::fromLatin1(kPositionMimeType)).size() == kPositionByteCount) {
        return true;
    }
    // Asked at every change of the clipboard: no copy of what may be megabytes of text.
    const QString text = mime->hasText() ? mime->text() : QString();
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); });
}

void CRecipeEditor::OnEditPaste() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime == nullptr) {
        return;
    }
    PositionValues values;
    // The exact bytes first; text when that is all there is (copied from kavo-cli show or edited by hand).
    // Either is refused with the reason, levels outside 1..255 included.
    QString error;
    const QByteArray bytes = mime->data(QString::fromLatin1(kPositionMimeType));
    bool read = ParsePositionBytes(bytes, &values.levels, &values.masks, &error);
    if (!read && error.isEmpty()) {
        read = ParsePosition(mime->text(), &values.levels, &values.masks, &error);
    }
    if (!read) {
        AfxMessageBox(
            Tr(QT_TRANSLATE_NOOP("CRecipeEditor", "The clipboard holds no position that can be pasted.\n%1"))
                .arg(error),
            MB_ICONEXCLAMATION);
        return;
    }
    const int camera = m_pDocument->GetCurCamera();
    const int position = m_pDocument->GetCurPosition();
    Record(CommandTooltip(ID_EDIT_PASTE), camera, position, 0, false, [&] {
        if (m_pDocument->SetPositionValues(camera, position, values.levels, values.masks)) {
            m_pDocument->UpdateAllViews(nullptr, 0);
        }
    });
}
