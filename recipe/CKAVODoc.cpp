#include "CKAVODoc.h"

#include "CommandIds.h"

CKAVODoc::CKAVODoc() {
    ResetRecipe();
    SetCommandHandler(ID_ALL_LED_OFF, [this] { OnAllLedOff(); });
    SetCommandHandler(ID_ALL_LED_ON, [this] { OnAllLedOn(); });
}

CKAVODoc::~CKAVODoc() = default;

void CKAVODoc::ResetRecipe() {
    m_stepCount = kSteps;
    m_curPosition = 1;
    m_patternChanged = 0;
    m_curCamera = 1;
    static_cast<Recipe&>(*this) = Recipe();
}

bool CKAVODoc::OnNewDocument() {
    if (!CDocument::OnNewDocument()) {
        return false;
    }
    ResetRecipe();
    return true;
}

void CKAVODoc::DeleteContents() {
    // The recipe keeps its arrays: a file is read into them in place.
}

void CKAVODoc::Serialize(CArchive& ar) {
    // 120 masks as 16-bit words, then 120 levels, each block in camera, position, channel order.
    if (ar.IsStoring()) {
        for (const auto& camera : m_stepMasks) {
            for (const auto& position : camera) {
                for (std::uint16_t mask : position) {
                    ar << mask;
                }
            }
        }
        for (const auto& camera : m_levels) {
            for (const auto& position : camera) {
                for (std::uint8_t level : position) {
                    ar << level;
                }
            }
        }
    } else {
        for (auto& camera : m_stepMasks) {
            for (auto& position : camera) {
                for (std::uint16_t& mask : position) {
                    ar >> mask;
                }
            }
        }
        for (auto& camera : m_levels) {
            for (auto& position : camera) {
                for (std::uint8_t& level : position) {
                    ar >> level;
                }
            }
        }
    }
}

CKAVODoc::ChannelLevels& CKAVODoc::CurrentLevels() {
    return m_levels.at(m_curCamera - 1).at(m_curPosition - 1);
}

CKAVODoc::ChannelMasks& CKAVODoc::CurrentMasks() {
    return m_stepMasks.at(m_curCamera - 1).at(m_curPosition - 1);
}

bool CKAVODoc::InRange(int camera, int position) {
    return camera >= 1 && camera <= kCameras && position >= 1 && position <= kPositions;
}

bool CKAVODoc::SetLevel(int camera, int position, int channel, std::uint8_t level) {
    if (!InRange(camera, position) || channel < 1 || channel > kChannels) {
        return false;
    }
    std::uint8_t& held = m_levels.at(camera - 1).at(position - 1).at(channel - 1);
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
    std::uint16_t& held = m_stepMasks.at(camera - 1).at(position - 1).at(channel - 1);
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
    ChannelLevels& heldLevels = m_levels.at(camera - 1).at(position - 1);
    ChannelMasks& heldMasks = m_stepMasks.at(camera - 1).at(position - 1);
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
    SetModifiedFlag(true);
    SetPositionValues(m_curCamera, m_curPosition, CurrentLevels(), masks);
    UpdateAllViews(nullptr, 0);
}

void CKAVODoc::OnAllLedOff() {
    SetCurrentMasks(0x0000);
}

void CKAVODoc::OnAllLedOn() {
    SetCurrentMasks(0xFFFF);
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
