#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The operator's texts of the Qt-free layers, in the language the window speaks. The layers below the window
// write their texts in English and mark them; the window installs a translator at start-up, while kavo-cli
// installs none and so speaks the English source texts exactly.
//
// A text with values is a template with %1..%9 (FillText substitutes them after translation), so that a
// translation may put the values where its grammar wants them.

// Marks text as a translatable source text of context without translating it (for tables of texts); lupdate
// reads it as QT_TRANSLATE_NOOP.
#define KAVO_TR_NOOP(context, text) text
// Translates text of context now (lupdate reads it as QT_TRANSLATE_NOOP too).
#define KAVO_TR(context, text) TranslateText(context, text)

// Returns the translation of text (UTF-8) in context, or text unchanged.
using TextTranslator = std::string (*)(const char* context, const char* text);

// Installs the process's translator; nullptr removes it. Set before the threads that translate start: the
// pointer is atomic, the translator itself must be thread-safe (QCoreApplication::translate is).
void SetTextTranslator(TextTranslator translator);

// The translation of text in context; text unchanged when no translator is installed.
std::string TranslateText(const char* context, const char* text);

// Replaces %1..%9 in pattern with values[0..8] in one pass, so a value that itself holds "%2" stays as it is.
// A % not followed by the number of a given value stays as it is.
std::string FillText(std::string_view pattern, std::initializer_list<std::string_view> values);
