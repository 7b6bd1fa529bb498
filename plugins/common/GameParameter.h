#pragma once
#include <optional>
#include <string>

// The game name among an embedded object's parameters: the value of the first
// parameter whose name is "game" in any letter case. Null names are skipped;
// a null value of that first one, a negative count or null arrays give no name.
std::optional<std::string> FindGameParameter(int count, const char* const* names, const char* const* values);
