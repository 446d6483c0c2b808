#pragma once

#include "Recipe.h"

#include <QString>

// Recipe files read and written without a document, for kavo-cli and the virtual controller's dump. They
// read and write exactly as the document's Open and Save do (the same file checks, format and messages).

// Reads the .aid file at path into *recipe. False with the user message in *error when the file can't be
// opened or is shorter than a recipe file; *recipe is then as it was. An empty file reads nothing (true,
// *recipe as it was); of a longer one the first 360 bytes are read.
bool ReadRecipeFile(const QString& path, Recipe* recipe, QString* error);

// Writes recipe as the .aid file path, replacing it whole or not at all. False with the user message in
// *error.
bool WriteRecipeFile(const QString& path, const Recipe& recipe, QString* error);

// Why a file of size bytes at path is no recipe file: "r.aid is 12 bytes; a recipe file is 360 bytes.",
// the path shown as messages show paths.
QString RecipeFileSizeText(const QString& path, qint64 size);

// The levels of recipe, read from path, that are outside 1..255 (a level of 0), grouped by camera and
// position ("C1 P3 channels 2, 5: 0"), at most kOutOfRangeLines positions and a count of the rest; empty
// when every level is in range. Such a file is kept as it is: the controller may rely on its values.
inline constexpr int kOutOfRangeLines = 6;
QString LevelsOutOfRangeText(const QString& path, const Recipe& recipe);
