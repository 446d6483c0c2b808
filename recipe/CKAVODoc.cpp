#include "CKAVODoc.h"

#include "AidFormat.h"
#include "CommandIds.h"
#include "RecipeFile.h"

#include <span>

CKAVODoc::CKAVODoc() {
    ResetRecipe();
    SetCommandHandler(ID_ALL_LED_OFF, [this] { OnAllLedOff(); });
    SetCommandHandler(ID_ALL_LED_ON, [this] { OnAllLedOn(); });
}

CKAVODoc::~CKAVODoc() = default;

void CKAVODoc::ResetRecipe() {
    m_stepCount = kSteps;
    m_patternChanged = 0;
    m_recipe = Recipe();
    if (m_curCamera != 1 || m_curPosition != 1) {
        m_curCamera = 1;
        m_curPosition = 1;
        emit currentChanged(1, 1);
    }
}

bool CKAVODoc::OnNewDocument() {
    if (!CDocument::OnNewDocument()) {
        return false;
    }
    ResetRecipe();
    return true;
}

void CKAVODoc::DeleteContents() {
    // The recipe keeps its values: a file that turns out to be empty reads nothing.
}

void CKAVODoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        const AidImage image = EncodeAid(m_recipe);
        ar.Write(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
        return;
    }
    // Throws, the recipe untouched, when the file is shorter than a recipe file; a longer one is read as
    // its first 360 bytes.
    const QByteArray bytes = ar.Read(static_cast<qsizetype>(kAidFileSize));
    const std::span image(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                          static_cast<std::size_t>(bytes.size()));
    if (const std::optional<Recipe> recipe = DecodeAid(image)) {
        m_recipe = *recipe;
    }
}

QString CKAVODoc::OpenedFileNote(const QString& path) const {
    return LevelsOutOfRangeText(path, m_recipe);
}

QString CKAVODoc::ReadFailureText(const QString& path, qint64 size) const {
    return RecipeFileSizeText(path, size);
}

bool CKAVODoc::InRange(int camera, int position) {
    return camera >= 1 && camera <= kCameras && position >= 1 && position <= kPositions;
}

std::uint8_t CKAVODoc::GetLevel(int camera, int position, int channel) const {
    return LevelsAt(camera, position).at(static_cast<std::size_t>(channel - 1));
}

std::uint16_t CKAVODoc::GetMask(int camera, int position, int channel) const {
    return MasksAt(camera, position).at(static_cast<std::size_t>(channel - 1));
}

const CKAVODoc::ChannelLevels& CKAVODoc::LevelsAt(int camera, int position) const {
    return m_recipe.m_levels.at(static_cast<std::size_t>(camera - 1))
        .at(static_cast<std::size_t>(position - 1));
}

const CKAVODoc::ChannelMasks& CKAVODoc::MasksAt(int camera, int position) const {
    return m_recipe.m_stepMasks.at(static_cast<std::size_t>(camera - 1))
        .at(static_cast<std::size_t>(position - 1));
}

bool CKAVODoc::SetCurrent(int camera, int position) {
    if (!InRange(camera, position) || (camera == m_curCamera && position == m_curPosition)) {
        return false;
    }
    m_curCamera = static_cast<std::uint8_t>(camera);
    m_curPosition = static_cast<std::uint8_t>(position);
    emit currentChanged(camera, position);
    return true;
}

bool CKAVODoc::SetLevel(int camera, int position, int channel, std::uint8_t level) {
    if (!InRange(camera, position) || channel < 1 || channel > kChannels) {
        return false;
    }
    std::uint8_t& held =
        m_recipe.m_levels[static_cast<std::size_t>(camera - 1)][static_cast<std::size_t>(position - 1)]
                         [static_cast<std::size_t>(channel - 1)];
    if (held == level) {
        return false;
    }
    held = level;
    SetModifiedFlag(true);
    emit recipeValuesChanged(camera, position);
    return true;
}

bool CKAVODoc::SetMask(int camera, int position, int channel, std::uint16_t mask) {
    if (!InRange(camera, position) || channel < 1 || channel > kChannels) {
        return false;
    }
    std::uint16_t& held =
        m_recipe.m_stepMasks[static_cast<std::size_t>(camera - 1)][static_cast<std::size_t>(position - 1)]
                            [static_cast<std::size_t>(channel - 1)];
    if (held == mask) {
        return false;
    }
    held = mask;
    m_patternChanged = 1;
    // A pattern edit marks the recipe modified when it is made; a repaint never does.
    SetModifiedFlag(true);
    emit recipeValuesChanged(camera, position);
    return true;
}

bool CKAVODoc::SetPositionValues(int camera, int position, const ChannelLevels& levels,
                                 const ChannelMasks& masks) {
    if (!InRange(camera, position)) {
        return false;
    }
    const auto c = static_cast<std::size_t>(camera - 1);
    const auto p = static_cast<std::size_t>(position - 1);
    ChannelLevels& heldLevels = m_recipe.m_levels[c][p];
    ChannelMasks& heldMasks = m_recipe.m_stepMasks[c][p];
    if (heldLevels == levels && heldMasks == masks) {
        return false;
    }
    if (heldMasks != masks) {
        m_patternChanged = 1;
    }
    heldLevels = levels;
    heldMasks = masks;
    SetModifiedFlag(true);
    emit recipeValuesChanged(camera, position);
    return true;
}

void CKAVODoc::SetCurrentMasks(std::uint16_t mask) {
    ChannelMasks masks;
    masks.fill(mask);
    // All LED Off/ON on a position already in that state is still a pattern edit (as it always
    // was): the recipe is marked modified even though no value changes.
    m_patternChanged = 1;
    MarkEdited();
    SetPositionValues(m_curCamera, m_curPosition, CurrentLevels(), masks);
    UpdateAllViews(nullptr, 0);
}

void CKAVODoc::OnAllLedOff() {
    SetCurrentMasks(0x0000);
}

void CKAVODoc::OnAllLedOn() {
    SetCurrentMasks(0xFFFF);
}

void CKAVODoc::MarkEdited() {
    SetModifiedFlag(true);
}

void CKAVODoc::OnHistoryCleanChanged(bool clean) {
    SetModifiedFlag(!clean);
}

bool CKAVODoc::LoadFile(const QString& path, QString* error) {
    FileError err;
    if (LoadDocument(path, &err) != ReadResult::Ok) {
        if (error != nullptr) {
            *error = err.message;
        }
        return false;
    }
    return true;
}

bool CKAVODoc::SaveFile(const QString& path, QString* error) {
    FileError err;
    if (!OnSaveDocument(path, &err)) {
        if (error != nullptr) {
            *error = err.message;
        }
        return false;
    }
    SetPathName(path);
    return true;
}
