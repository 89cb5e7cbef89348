#pragma once

// Installs the interface translation for a language index (0 English, 1 Simplified, 2 Traditional).
void updateTranslation(int index);

// Registers the icons and catalogues compiled into the static library.
void initTarnResources();
