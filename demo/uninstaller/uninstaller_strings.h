#pragma once
// The uninstaller's own texts, in the string tables of Uninstall.exe beside
// ids of the installer's range (1000 to 1131), so that both can share the
// language lookup. Translated in the languages the installer speaks; the
// others fall back to English as the installer's texts do.

inline constexpr unsigned IDS_UNINSTALLER = 2000;     // "Uninstaller"
inline constexpr unsigned IDS_CONFIRM_REMOVAL = 2001; // {0}: product name with version
inline constexpr unsigned IDS_REMOVED = 2002;         // {0}: product name with version
inline constexpr unsigned IDS_NOT_ALL_REMOVED = 2003; // {0}: product, {1}: the items, one per line
inline constexpr unsigned IDS_LOG_DAMAGED = 2004;     // {0}: the log's path
inline constexpr unsigned IDS_CLOSE_PRODUCT = 2005;   // {0}: product name
inline constexpr unsigned IDS_LOG_MISSING = 2006;     // {0}: the log's path
