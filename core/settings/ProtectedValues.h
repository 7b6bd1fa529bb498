#pragma once
#include <string>

// Values under HKEY_CURRENT_USER kept encrypted for the current user (REG_BINARY).
// Save returns 0 on success, else an error code. Load gives "" on every failure:
// a missing value, a tampered one, or one protected with another user's key.
int SaveProtectedValue(const std::string& keyPath, const std::string& valueName, const std::string& plain);
std::string LoadProtectedValue(const std::string& keyPath, const std::string& valueName);
