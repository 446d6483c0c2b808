#pragma once

#include "CDocument.h"
#include "Recipe.h"

#include <cstdint>

// The lighting recipe plus the editing context both panes share: the current camera and position, the
// number of steps the pattern view shows and whether a pattern was edited. The recipe changes only through
// the setters below (and New and Open), so that every change is announced and marks the recipe modified;
// everyone else reads it.
class CKAVODoc : public CDocument {
    Q_OBJECT

  public:
    static constexpr int kCameras = Recipe::kCameras;
    static constexpr int kPositions = Recipe::kPositions;
    static constexpr int kChannels = Recipe::kChannels;
    static constexpr int kSteps = Recipe::kSteps;
    using ChannelLevels = Recipe::ChannelLevels;
    using ChannelMasks = Recipe::ChannelMasks;

    // Holds the new-recipe values from construction on, so that a file named on the command line
    // is read into full-size arrays with a valid camera and position.
    CKAVODoc();
    ~CKAVODoc() override;

    bool OnNewDocument() override;
    void DeleteContents() override;
    void Serialize(CArchive& ar) override;

    // The recipe and its values (camera 1..3, position 1..5, channel 1..8; an address out of range is
    // a programming error and throws std::out_of_range).
    const Recipe& GetRecipe() const { return m_recipe; }
    std::uint8_t GetLevel(int camera, int position, int channel) const;
    std::uint16_t GetMask(int camera, int position, int channel) const;
    const ChannelLevels& LevelsAt(int camera, int position) const;
    const ChannelMasks& MasksAt(int camera, int position) const;
    // The 8 levels or masks of the current camera and position.
    const ChannelLevels& CurrentLevels() const { return LevelsAt(m_curCamera, m_curPosition); }
    const ChannelMasks& CurrentMasks() const { return MasksAt(m_curCamera, m_curPosition); }

    int GetCurCamera() const { return m_curCamera; }     // 1..3
    int GetCurPosition() const { return m_curPosition; } // 1..5
    int GetStepCount() const { return m_stepCount; }     // 16
    // A pattern was edited since the last New (Save and Open keep it).
    bool IsPatternChanged() const { return m_patternChanged != 0; }

    // The one way the current camera and position change (1-based). Announces currentChanged once when
    // either changed; no recipe value changes and the recipe is not marked modified. Views are not updated
    // here: the caller knows which of them must follow. False, and nothing changed, for a camera or
    // position out of range or for the ones already current.
    bool SetCurrent(int camera, int position);

    void OnAllLedOff();
    void OnAllLedOn();

    // The one way an edit changes recipe values (camera 1..3, position 1..5, channel 1..8). Each
    // setter stores the value, marks the recipe modified and announces recipeValuesChanged once;
    // a value equal to the one held changes nothing and announces nothing. Views are not updated
    // here: the caller knows which of them must follow. Returns whether anything changed; false
    // as well for an address out of range.
    bool SetLevel(int camera, int position, int channel, std::uint8_t level);
    bool SetMask(int camera, int position, int channel, std::uint16_t mask);
    // All 8 levels and 8 masks of one camera and position in one edit (paste, cut, undo of those).
    bool SetPositionValues(int camera, int position, const ChannelLevels& levels, const ChannelMasks& masks);

    // The modified flag is the document's: its setters set it, New, Open and Save clear it. Besides:
    // an edit that changed no value still makes the recipe modified (a slider's notice that moves no
    // value, a page click in its trough) ...
    void MarkEdited();
    // ... and the edit history tells when it stands where the recipe was last opened, made new or saved
    // (clean: unmodified there) or leaves that point (modified).
    void OnHistoryCleanChanged(bool clean);

    // Reads a recipe file without any user interaction, as the window's Open does. False with the user
    // message in *error when it can't be opened or is too short (then a new, untitled recipe); the path
    // and title are set on success.
    bool LoadFile(const QString& path, QString* error);
    // Writes the recipe to path; false with the user message in *error.
    bool SaveFile(const QString& path, QString* error);
    // Levels outside 1..255 in the file just read: kept as they are, and named once.
    QString OpenedFileNote(const QString& path) const override;

  signals:
    // Recipe values at this camera and position (1-based) were changed by a setter. Not sent
    // for New or Open, which replace the whole recipe and update all views.
    void recipeValuesChanged(int camera, int position);
    // The current camera or position changed (SetCurrent, or New going back to camera 1, position 1).
    void currentChanged(int camera, int position);

  protected:
    QString ReadFailureText(const QString& path, qint64 size) const override;

  private:
    static bool InRange(int camera, int position);
    void ResetRecipe();
    void SetCurrentMasks(std::uint16_t mask);

    std::uint8_t m_stepCount = 0;
    std::uint8_t m_curCamera = 0;   // 1..3
    std::uint8_t m_curPosition = 0; // 1..5
    std::uint8_t m_patternChanged = 0;
    Recipe m_recipe; // m_levels, m_stepMasks
};
