#pragma once
#include <string>

// Reads a game's patch catalogue and names the patch file to apply next.
class PatchCatalogSource {
public:
    virtual ~PatchCatalogSource() = default;
    // Empty when the game is up to date or nothing can be applied (the
    // catalogue has then shown its own message).
    virtual std::string NextPatchUrl(const std::string& catalogUrl) = 0;
};
