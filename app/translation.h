#pragma once

// Interface languages, in the order the setup dialog offers them.
enum Language
{
    LanguageEnglish = 0,
    LanguageSimplifiedChinese = 1,
    LanguageTraditionalChinese = 2
};

// Installs the interface translation for a language index (0 English, 1 Simplified, 2 Traditional).
void updateTranslation(int index);

// The translation and, for the Chinese languages, UTF-8 as the local 8-bit encoding, as start-up
// sets them for the life of the process.
void installLanguage(int index);

// Registers the icons and catalogues compiled into the static library.
void initTarnResources();
