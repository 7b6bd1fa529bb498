#pragma once
#include <string>

#include "core/ManifestEntry.h"

// Where an installed game's program is: through its registry reference
// (core/settings/RegistryReference.h) or, for the two shortcut markers, through the
// program of its desktop entry.

// The full path of the game's program; "" when nothing is found. A subkey that
// begins with "!" is a literal (the "!" dropped), any other names a value under
// installkey: in our registry, else, when the key is only there, in the wine
// prefix's ($WINEPREFIX, else ~/.wine), whose drive paths are mapped to this
// machine. The file part joins the folder safely: one that would leave the
// folder gives "".
std::string ResolveGameLocation(const std::string& installkey, const std::string& launchpathsubkey,
                                const std::string& launchfilesubkey);
std::string ResolveGameLocation(const ManifestLocation& location);

// The one lookup for a game's install key and folder, for every reader of them:
// our registry, else, when the key is only there, the wine prefix's (folders
// mapped to this machine). The key test is true for the shortcut markers.
bool GameKeyExists(const std::string& installkey);
// The text value valueName under installkey as a folder; "" when missing.
std::string ReadGameFolder(const std::string& installkey, const std::string& valueName);

// The program of "Duskmarch/Duskmarch.desktop" ("!DMK_HACK!") or
// "Ironvale/Ironvale.desktop" ("!IVX_HACK!") in the applications folder of
// $XDG_DATA_HOME, else of each $XDG_DATA_DIRS folder; the first file found wins.
// "" for another marker, no file, or a program that cannot be found.
std::string ShortcutTarget(const std::string& marker);
