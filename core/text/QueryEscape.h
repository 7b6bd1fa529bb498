#pragma once
#include <string>

// The escaping of the telemetry and error query strings: ASCII letters and
// digits stay, every other byte (the "-._~" that libcurl keeps included)
// becomes "%" and two upper-case hexadecimal digits.
std::string QueryEscape(const std::string& bytes);
