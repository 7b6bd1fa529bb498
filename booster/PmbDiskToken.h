#pragma once
#include <string>

// Writes a disk token as the whole content of the file a token reply named.
// Whoever answers on the booster's port names that file, so it is written only
// when it is a data file of the booster's own folder:
// - path lies inside folder (both absolute, no "." or ".." part), and the part
//   below folder holds no link;
// - the file is new (created 0600, without execute bits) or a regular file with
//   no other name, no execute bit, and not a program's first bytes ("#!", ELF,
//   "MZ");
// - it is not the program the library starts (<folder>/PMB.exe, neither by its
//   name in any case nor by the file's identity).
// A token holding a line end or a NUL, or beginning as a program does, is
// refused as well. False when refused or failed; a refused file is left as it was.
bool WriteDiskTokenFile(const std::string& folder, const std::string& path, const std::string& token);
