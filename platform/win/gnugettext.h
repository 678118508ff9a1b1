// Translation lookup for user-visible texts (GNU gettext, text domain "pxbl").
#pragma once

// Returns the translation of `text` in the user's language, or `text` itself when the
// catalogue has none. The returned text lives as long as the process.
const char* Translate(const char* text);

// Where the catalogues are looked up; the default is the build's or install's locale folder.
void SetTranslationDirectory(const char* directory);
