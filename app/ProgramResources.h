#pragma once

#include <QByteArray>
#include <QIcon>
#include <QPixmap>

// The program's pictures and desktop files, built in from res/.

// The toolbar's ten button images, 21 x 20 pixels each, in one 210 x 20 strip:
// New, Open, Save, Cut, Copy, Paste, Print, About, "Off" (blue), "ON" (red).
constexpr int kToolbarButtonWidth = 21;
constexpr int kToolbarButtonHeight = 20;
constexpr int kToolbarButtonCount = 10;

QPixmap ToolbarStrip();
QIcon ToolbarIcon(int index);

// The program icon, a small LED grid, at 16, 32, 48 and 64 pixels.
QIcon ProgramIcon();
// The 48-pixel icon as a PNG file, for the desktop's icon folder.
QByteArray ProgramIconPng();

// The desktop entry, with "@EXEC@" where the quoted program path goes, and the MIME package of the
// ".aid" type.
QByteArray DesktopEntryTemplate();
QByteArray MimePackage();
