#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One line of a game's install manifest: a path relative to the install folder
// (with "\" or "/" between folders, usually one leading separator) and the
// file's CRC-32 in decimal, separated by ",". Anything after a second "," is
// ignored; a line without "," is a path with the checksum 0.
struct InstallManifestLine {
    std::string path;
    uint32_t checksum = 0;
    bool hasChecksum = false;  // the line gave digits for it
};

// Lines are separated by LF (a CR before it is allowed); a final LF adds no
// empty line. Every line counts, an empty one too, so the number of lines is
// known before the first file is checked.
std::vector<InstallManifestLine> ParseInstallManifest(const std::string& text);

// The checksum text: cut at its first CR, leading blanks skipped, decimal
// digits with an optional fraction (dropped), the low 32 bits kept; 0 when
// unreadable.
uint32_t ParseManifestChecksum(const std::string& text, bool* readable = nullptr);
