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

void CKAVODoc::SetCurrentMasks(std::uint16_t mask) {
    for (std::uint16_t& m : CurrentMasks()) {
        m = mask;
    }
    m_patternChanged = 1;
    // A pattern edit marks the recipe modified when it is made; a repaint never does.
    SetModifiedFlag(true);
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
