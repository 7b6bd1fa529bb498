#pragma once
#include <cstdint>
#include <string>

#include "platform/RegistryStore.h"

// Readers of a registry reference: "HKEY_CURRENT_USER\..." or "HKEY_LOCAL_MACHINE\..."
// (root case-sensitive) naming a key; the value name is given apart, "@" being the
// key's default value. Nothing is created; every failure gives "" or 0.
inline constexpr const char* kDuskmarchMarker = "!DMK_HACK!";
inline constexpr const char* kIronvaleMarker = "!IVX_HACK!";

// Splits "HKEY_CURRENT_USER\A\B" into its hive and the key path below it; false
// for any other root (matched exactly). Callers differ on empty parts (doubled or
// trailing "\"): kept as written, or skipped.
enum class EmptyKeyParts { Keep, Skip };
bool SplitRegistryReference(const std::string& reference, EmptyKeyParts emptyParts, platform::Hive& hive,
                            std::string& keyPath);

bool KeyExists(const std::string& reference);  // true for either shortcut marker
std::string ReadRegistryString(const std::string& reference, const std::string& valueName);
uint32_t ReadRegistryDword(const std::string& reference, const std::string& valueName);
