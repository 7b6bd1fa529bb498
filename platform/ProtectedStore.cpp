#include "platform/ProtectedStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cryptopp/aes.h>
#include <cryptopp/gcm.h>

#include "platform/AtomicFile.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/PathParts.h"
#include "platform/XdgPaths.h"

namespace platform {

namespace {

constexpr size_t kKeySize = 32;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
// Names the blob's layout (magic, nonce, cipher text, tag) and is authenticated with it.
constexpr char kMagic[4] = {'Q', 'P', 'V', '1'};

int FillRandom(unsigned char* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = getrandom(bytes, size, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// 0 with the key, ENOENT when there is no key file, another errno when it cannot
// be used (a key file of the wrong size is never replaced: values made with it
// would be lost for good).
int ReadKey(const std::string& path, std::string& key) {
    if (path.empty())
        return ENOENT;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    bool ok = ReadDescriptor(fd, key);
    int error = ok ? 0 : errno;
    ::close(fd);
    if (error != 0)
        return error;
    if (key.size() != kKeySize) {
        Log::Error("the key file \"%s\" is damaged; protected values cannot be read or saved", path.c_str());
        return EINVAL;
    }
    return 0;
}

// The first key of the user. Every folder on its path is synced, not only those
// made here: a folder left by a process killed before it synced its parent would
// lose the key at a power cut, and the values protected with it would outlive it.
// A folder this user may not open was made by no process of the user's.
int CreateKey(const std::string& path) {
    std::string folder = FolderOf(path, ".");
    if (!MakeFolders(folder, 0700))
        return errno == 0 || errno == EEXIST ? ENOTDIR : errno;
    for (std::string above = folder; above != "/" && above != ".";) {
        above = FolderOf(above, ".");
        int error = SyncFolder(above);
        if (error != 0 && error != EACCES && error != EPERM && error != EROFS)
            return error;
    }

    std::string key(kKeySize, '\0');
    if (int error = FillRandom(reinterpret_cast<unsigned char*>(key.data()), key.size()); error != 0)
        return error;
    int error = CreateFileOnce(path, key, 0600);
    explicit_bzero(key.data(), key.size());
    // EEXIST: another process made the key first; its key stands, now durable too.
    return error == EEXIST ? 0 : error;
}

const auto* Bytes(const std::string& s) {
    return reinterpret_cast<const CryptoPP::byte*>(s.data());
}
const auto* Bytes(const char* s) {
    return reinterpret_cast<const CryptoPP::byte*>(s);
}

}  // namespace

ProtectedStore::ProtectedStore(std::string keyFile) : keyFile(std::move(keyFile)) {}

ProtectedStore ProtectedStore::ForCurrentUser() {
    std::string data = XdgDataHome();
    return ProtectedStore(data.empty() ? std::string() : data + "/Brindlemoor/protection.key");
}

int ProtectedStore::Protect(const std::string& plain, std::string& blob) const {
    std::string key;
    int error = ReadKey(keyFile, key);
    if (error == ENOENT && !keyFile.empty()) {
        error = CreateKey(keyFile);
        if (error == 0)
            error = ReadKey(keyFile, key);
    } else if (error == 0) {
        // The process that made the key may not have made its name durable yet:
        // a blob must never reach the disk before the key that opens it. One
        // killed before it removed its temporary file left that behind.
        RemoveStaleTemporaries(keyFile);
        error = SyncFolderOf(keyFile);
    }
    if (error != 0) {
        explicit_bzero(key.data(), key.size());
        return error;
    }

    std::string out(sizeof kMagic + kNonceSize + plain.size() + kTagSize, '\0');
    auto* bytes = reinterpret_cast<CryptoPP::byte*>(out.data());
    std::memcpy(bytes, kMagic, sizeof kMagic);
    CryptoPP::byte* nonce = bytes + sizeof kMagic;
    CryptoPP::byte* cipher = nonce + kNonceSize;
    if (int e = FillRandom(nonce, kNonceSize); e != 0)
        return e;
    try {
        CryptoPP::GCM<CryptoPP::AES>::Encryption gcm;
        gcm.SetKeyWithIV(Bytes(key), key.size(), nonce, kNonceSize);
        gcm.EncryptAndAuthenticate(cipher, cipher + plain.size(), kTagSize, nonce, kNonceSize, Bytes(kMagic),
                                   sizeof kMagic, Bytes(plain), plain.size());
    } catch (const CryptoPP::Exception&) {
        explicit_bzero(key.data(), key.size());
        return EIO;
    }
    explicit_bzero(key.data(), key.size());
    blob = std::move(out);
    return 0;
}

std::optional<std::string> ProtectedStore::Unprotect(const std::string& blob) const {
    constexpr size_t overhead = sizeof kMagic + kNonceSize + kTagSize;
    if (blob.size() < overhead || blob.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    std::string key;
    if (ReadKey(keyFile, key) != 0)
        return std::nullopt;
    const CryptoPP::byte* nonce = Bytes(blob) + sizeof kMagic;
    const CryptoPP::byte* cipher = nonce + kNonceSize;
    size_t length = blob.size() - overhead;
    std::string plain(length, '\0');
    bool authentic = false;
    try {
        CryptoPP::GCM<CryptoPP::AES>::Decryption gcm;
        gcm.SetKeyWithIV(Bytes(key), key.size(), nonce, kNonceSize);
        authentic = gcm.DecryptAndVerify(reinterpret_cast<CryptoPP::byte*>(plain.data()), cipher + length, kTagSize,
                                         nonce, kNonceSize, Bytes(kMagic), sizeof kMagic, cipher, length);
    } catch (const CryptoPP::Exception&) {
        authentic = false;
    }
    explicit_bzero(key.data(), key.size());
    if (!authentic) {
        explicit_bzero(plain.data(), plain.size());
        return std::nullopt;
    }
    return plain;
}

}  // namespace platform
