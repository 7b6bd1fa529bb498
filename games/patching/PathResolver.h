#pragma once
#include <optional>
#include <string>
#include <string_view>

class FolderListings;

// Paths taken from data written on Windows, where names are compared without
// regard to case. Each part below the base that does not exist as written
// resolves to the single entry of its folder whose name equals it without regard
// to ASCII case (an exact match always wins); a part that matches nothing, or more
// than one entry, stays as written, and so do the parts after it: new files and
// folders are created as written.

// platform::SafeJoin of base and relative, then resolved as above. nullopt when
// the join refuses the path.
std::optional<std::string> ResolveDataPath(const std::string& base, const std::string& relative);

// The resolution alone, for a path that SafeJoin built from base (it starts with
// base). The base itself is taken as it is. With listings, each folder that must
// be searched is read once for all the paths resolved through them.
std::string ResolveExistingCase(const std::string& base, const std::string& joined, FolderListings* listings = nullptr);

// True when folder, every symbolic link of its existing part followed, is base or
// lies below it (base's own links followed too). The part that does not exist
// yet counts as inside: what is created there is created as written. A link that
// leads nowhere, or anything that cannot be looked at, counts as outside.
bool StaysInside(const std::string& base, const std::string& folder);

// Equal but for the case of ASCII letters (the rule of names above).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
