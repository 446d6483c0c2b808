#include "TextCatalogue.h"

#include <atomic>

namespace {
std::atomic<TextTranslator> g_translator{nullptr};
} // namespace

void SetTextTranslator(TextTranslator translator) {
    g_translator.store(translator);
}

std::string TranslateText(const char* context, const char* text) {
    const TextTranslator translator = g_translator.load();
    return translator != nullptr ? translator(context, text) : std::string(text);
}

std::string FillText(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string text;
    text.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < values.size()) {
                text += values.begin()[n];
                ++i;
                continue;
            }
        }
        text += pattern[i];
    }
    return text;
}
