#pragma once

#include "CDocument.h"
#include "Recipe.h"

#include <cstdint>

// The lighting recipe (m_levels and m_stepMasks, with its shape and new-recipe values, from Recipe) plus the
// editing context both panes share.
class CKAVODoc : public CDocument, public Recipe {
    Q_OBJECT

  public:
    // Holds the new-recipe values from construction on, so that a file named on the command line
    // is read into full-size arrays with a valid camera and position.
    CKAVODoc();
    ~CKAVODoc() override;

    bool OnNewDocument() override;
    void DeleteContents() override;
    void Serialize(CArchive& ar) override;

    void OnAllLedOff();
    void OnAllLedOn();

    // The 8 levels or masks of the current camera and position.
    ChannelLevels& CurrentLevels();
    ChannelMasks& CurrentMasks();

    // Reads a recipe file without any user interaction (command-line tools). False with the
    // user message in *error when it can't be opened or is too short; the path and title are set
    // on success.
    bool LoadFile(const QString& path, QString* error);
    // Writes the recipe to path; false with the user message in *error.
    bool SaveFile(const QString& path, QString* error);

    std::uint8_t m_stepCount = 0;
    std::uint8_t m_curCamera = 0;   // 1..3
    std::uint8_t m_curPosition = 0; // 1..5
    std::uint8_t m_patternChanged = 0;

  private:
    void ResetRecipe();
    void SetCurrentMasks(std::uint16_t mask);
};
