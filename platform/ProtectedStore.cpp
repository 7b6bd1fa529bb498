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

int CreateKey(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!MakeFolders(folder, 0700))
        return errno == 0 || errno == EEXIST ? ENOTDIR : errno;

    unsigned char key[kKeySize];
    unsigned char tag[8];
    if (int error = FillRandom(key, sizeof key); error != 0)
        return error;
    if (int error = FillRandom(tag, sizeof tag); error != 0)
        return error;
    std::string temp = path + ".new-" + std::to_string(getpid()) + "-";
    for (unsigned char c : tag)
        temp += "0123456789abcdef"[c & 15];

    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    int error = 0;
    if (::write(fd, key, sizeof key) != static_cast<ssize_t>(sizeof key))
        error = errno ? errno : EIO;
    if (error == 0)
        error = SyncFile(fd);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    // link() never replaces: when another process got there first, its key stands.
    if (error == 0 && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST)
        error = errno;
    ::unlink(temp.c_str());
    explicit_bzero(key, sizeof key);
    if (error != 0)
        return error;
    return SyncFolder(folder);
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
    }
    if (error != 0)
        return error;

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
