#pragma once

// Where the program keeps what it remembers between runs: <config folder>/<organisation>/<application>,
// for example ~/.config/Local AppWizard-Generated Applications/KAVO. The recent-file list lives there
// (Qt's settings under these names) and so does the folder of the user's own port names.
inline constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "KAVO";
