#pragma once

#include "CommandIds.h"

#include <QString>

// The program's string table. Every user-visible framework text lives here once.
// A command's string is "prompt\ntooltip"; either part may be missing.
QString LoadString(UINT id);

// LoadString(id) with the first "%1" replaced by arg.
QString FormatString1(UINT id, const QString& arg);

// The part of a command's string before the newline (the status-bar prompt) and after it (the tooltip).
QString CommandPrompt(UINT id);
QString CommandTooltip(UINT id);
