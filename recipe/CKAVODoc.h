#pragma once

#include "CDocument.h"

#include <cstdint>
#include <vector>

// The lighting recipe: for each of 3 cameras and 5 positions, the intensity of 8 channels and each
// channel's 16-step on/off mask, plus the editing context both panes share.
class CKAVODoc : public CDocument {
    Q_OBJECT

  public:
    static constexpr int kCameras = 3;
    static constexpr int kPositions = 5;
    static constexpr int kChannels = 8;
    static constexpr int kSteps = 16;
    static constexpr std::uint8_t kNewLevel = 255;
    static constexpr std::uint16_t kNewMask = 0x0000;

    using LevelArray = std::vector<std::vector<std::vector<std::uint8_t>>>; // [camera][position][channel]
    using MaskArray = std::vector<std::vector<std::vector<std::uint16_t>>>; // bit s-1 = step s

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
    std::vector<std::uint8_t>& CurrentLevels();
    std::vector<std::uint16_t>& CurrentMasks();

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
    LevelArray m_levels;
    MaskArray m_stepMasks;

  private:
    void ResetRecipe();
    void SetCurrentMasks(std::uint16_t mask);
};
