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

    // The 8 levels or masks of the current camera and position. Read them here; change them
    // through the setters below.
    ChannelLevels& CurrentLevels();
    ChannelMasks& CurrentMasks();

    // The one way an edit changes recipe values (camera 1..3, position 1..5, channel 1..8). Each
    // setter stores the value, marks the recipe modified and announces recipeValuesChanged once;
    // a value equal to the one held changes nothing and announces nothing. Views are not updated
    // here: the caller knows which of them must follow. Returns whether anything changed; false
    // as well for an address out of range.
    bool SetLevel(int camera, int position, int channel, std::uint8_t level);
    bool SetMask(int camera, int position, int channel, std::uint16_t mask);
    // All 8 levels and 8 masks of one camera and position in one edit (paste, cut, undo of those).
    bool SetPositionValues(int camera, int position, const ChannelLevels& levels, const ChannelMasks& masks);

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

  signals:
    // Recipe values at this camera and position (1-based) were changed by a setter. Not sent
    // for New or Open, which replace the whole recipe and update all views.
    void recipeValuesChanged(int camera, int position);

  private:
    static bool InRange(int camera, int position);
    void ResetRecipe();
    void SetCurrentMasks(std::uint16_t mask);
};
