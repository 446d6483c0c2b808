#pragma once

#include <QIcon>
#include <QPixmap>

// The toolbar's ten button images, 21 x 20 pixels each, drawn in one 210 x 20 strip:
// New, Open, Save, Cut, Copy, Paste, Print, About, "Off" (blue), "ON" (red).
constexpr int kToolbarButtonWidth = 21;
constexpr int kToolbarButtonHeight = 20;
constexpr int kToolbarButtonCount = 10;

QPixmap ToolbarStrip();
QIcon ToolbarIcon(int index);

// The program icon: a small LED grid.
QIcon ProgramIcon();
QPixmap ProgramPixmap(int size);
