#pragma once
#include <string>
#include <utility>
#include <vector>

// Values under HKEY_CURRENT_USER kept encrypted for the current user (REG_BINARY).
// Save returns 0 on success, else an error code. Load gives "" on every failure:
// a missing value, a tampered one, one protected with another user's key, or one
// whose key is gone (the next save makes a new key).
int SaveProtectedValue(const std::string& keyPath, const std::string& valueName, const std::string& plain);
// Several values of one key in one write: a kill or a power cut leaves all of
// them or none (value name, plain text).
int SaveProtectedValues(const std::string& keyPath, const std::vector<std::pair<std::string, std::string>>& values);
std::string LoadProtectedValue(const std::string& keyPath, const std::string& valueName);
