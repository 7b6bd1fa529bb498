#pragma once
#include <optional>
#include <string>

namespace platform {

// Data protected for the current user (what the data-protection service does on
// Windows): authenticated encryption (AES-256-GCM) under a random key of
// the user's own, kept in a 0600 file. A blob that was changed, cut, or made with
// another key does not unprotect.
//
// The key file is created on the first Protect, exclusively: written whole to a
// temporary file, fsynced and linked into place (CreateFileOnce), so that
// processes creating it at the same time all end up with the one key that won.
// Before Protect returns a blob, the key's name and every folder above it are
// durable: a power cut never leaves a blob without its key. A key that is gone
// (deleted, or from before such a cut) makes its blobs unreadable, as tampering
// does; the next Protect makes a new key.
class ProtectedStore {
public:
    explicit ProtectedStore(std::string keyFile);

    // The current user's: "$XDG_DATA_HOME/Brindlemoor/protection.key", the
    // environment read at each call; no file when no data folder can be had.
    static ProtectedStore ForCurrentUser();

    const std::string& KeyFile() const { return keyFile; }

    // 0 with the protected blob, else an errno value (no key could be had or made).
    int Protect(const std::string& plain, std::string& blob) const;
    // The plain bytes; nullopt for anything not protected with this key as it stands.
    // Never creates the key.
    std::optional<std::string> Unprotect(const std::string& blob) const;

private:
    std::string keyFile;
};

}  // namespace platform
