#include "FormSetupLayout.h"

namespace {

using K = FormControlKind;

// In the form's reading order, which is the tab order: the cameras, the positions, the channel rows (each
// slider, then its value) top to bottom, then the port and the download. The channel rows are 17 units apart.
constexpr FormControl kLayout[] = {
    {0, K::Group, 12, 29, 60, 136, QT_TRANSLATE_NOOP("CFormSetup", "Camera")},
    {IDC_CAMERA1 + 0, K::CameraButton, 18, 49, 46, 17, "C1"},
    {IDC_CAMERA1 + 1, K::CameraButton, 18, 77, 46, 17, "C2"},
    {IDC_CAMERA1 + 2, K::CameraButton, 18, 105, 46, 17, "C3"},
    {0, K::Group, 78, 29, 60, 136, QT_TRANSLATE_NOOP("CFormSetup", "Position")},
    {IDC_POSITION1 + 0, K::PositionButton, 91, 46, 35, 17, "P1"},
    {IDC_POSITION1 + 1, K::PositionButton, 91, 69, 35, 17, "P2"},
    {IDC_POSITION1 + 2, K::PositionButton, 91, 92, 35, 17, "P3"},
    {IDC_POSITION1 + 3, K::PositionButton, 91, 115, 35, 17, "P4"},
    {IDC_POSITION1 + 4, K::PositionButton, 91, 138, 35, 17, "P5"},
    {0, K::Group, 148, 29, 164, 173, QT_TRANSLATE_NOOP("CFormSetup", "CH Dim Value")},
    {IDC_LEVEL1 + 0, K::LevelBar, 177, 50, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 0, K::LevelText, 291, 51, 18, 8, "1"},
    {IDC_LEVEL1 + 1, K::LevelBar, 177, 67, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 1, K::LevelText, 291, 68, 18, 8, "2"},
    {IDC_LEVEL1 + 2, K::LevelBar, 177, 84, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 2, K::LevelText, 291, 85, 18, 8, "3"},
    {IDC_LEVEL1 + 3, K::LevelBar, 177, 101, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 3, K::LevelText, 291, 102, 18, 8, "4"},
    {IDC_LEVEL1 + 4, K::LevelBar, 177, 118, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 4, K::LevelText, 291, 119, 18, 8, "5"},
    {IDC_LEVEL1 + 5, K::LevelBar, 177, 135, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 5, K::LevelText, 291, 136, 18, 8, "6"},
    {IDC_LEVEL1 + 6, K::LevelBar, 177, 152, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 6, K::LevelText, 291, 153, 18, 8, "7"},
    {IDC_LEVEL1 + 7, K::LevelBar, 177, 169, 105, 11, nullptr},
    {IDC_LEVEL_TEXT1 + 7, K::LevelText, 291, 170, 18, 8, "8"},
    {IDC_PORT_LIST, K::PortList, 31, 182, 72, 69, nullptr},
    {IDC_OPEN_PORT, K::PushButton, 33, 215, 72, 25, kOpenPortLabel},
    {IDC_DOWNLOAD, K::PushButton, 203, 214, 72, 25, QT_TRANSLATE_NOOP("CFormSetup", "Download")},
    {IDC_LIVE, K::CheckBox, 281, 220, 36, 12, "Live"},
    {IDC_CONTROLLER_STATE, K::StateText, 31, 245, 285, 10, nullptr},
    {IDC_PROGRESS, K::Progress, 31, 259, 258, 14, nullptr},
};

} // namespace

std::span<const FormControl> FormSetupLayout() {
    return kLayout;
}
