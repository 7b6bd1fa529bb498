#include "platform/RegistryStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/PathParts.h"
#include "platform/RegFileFormat.h"
#include "platform/RegistryTree.h"
#include "platform/XdgPaths.h"

namespace platform {

namespace {

const char* RootName(Hive hive) {
    return hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

// What tells one version of the file from another. While the store holds the
// file open its inode cannot be reused, so an equal identity means the same file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileIdentity Of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }
    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

// Whether the edit may be made. A key named with a control character is never
// made (a hand-edited file may hold one, which may still be deleted); no key
// deeper than the tree holds exists; the hive itself stays.
bool Allowed(const RegistryStore::Edit& edit) {
    using Kind = RegistryStore::Edit::Kind;
    size_t depth = KeyPathDepth(edit.keyPath);
    if (depth > RegistryTree::kMaxDepth || (edit.kind == Kind::DeleteKey && depth == 0))
        return false;
    if (edit.kind == Kind::CreateKey || edit.kind == Kind::WriteValue)
        for (char c : edit.keyPath)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return false;
    return true;
}

// One edit on the tree; whether it changed anything.
bool Apply(RegistryTree& tree, const RegistryStore::Edit& edit) {
    using Kind = RegistryStore::Edit::Kind;
    switch (edit.kind) {
    case Kind::CreateKey:
        if (tree.Find(edit.keyPath))
            return false;
        return tree.Ensure(edit.keyPath) != nullptr;
    case Kind::WriteValue: return tree.SetValue(edit.keyPath, edit.valueName, edit.value);
    case Kind::DeleteValue: return tree.DeleteValue(edit.keyPath, edit.valueName);
    case Kind::DeleteKey: return tree.DeleteKey(edit.keyPath);
    }
    return false;
}

// The exclusive lock of one write, on "<file>.lock": a file of its own that is
// never replaced, since a lock on the store file would be lost at each rename.
class WriteLock {
public:
    WriteLock(const std::string& path, unsigned mode) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode);
        if (fd < 0) {
            error = errno;
            return;
        }
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    ~WriteLock() {
        if (fd >= 0)
            ::close(fd);  // releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    int error = 0;

private:
    int fd = -1;
};

// The stores ForHive hands out. Neither has a destructor to run at exit: a
// program ends with _exit, its threads using a store to the last moment, and
// never frees them; a library frees them when it is unloaded (ReleaseAll).
static_assert(std::is_trivially_destructible_v<std::mutex>);
std::mutex storesGuard;
using StoreMap = std::map<std::pair<Hive, std::string>, std::unique_ptr<RegistryStore>>;
StoreMap* stores = nullptr;

}  // namespace

struct RegistryStore::Impl {
    Hive hive;
    unsigned fileMode;
    unsigned folderMode;

    RegistryTree tree;    // the file as last read or written
    bool loaded = false;  // tree reflects `identity` (or a missing file)
    bool fileExists = false;
    FileIdentity identity;
    int fd = -1;               // the file of `identity`, held open
    bool damaged = false;      // the last file read had errors...
    std::string damagedBytes;  // ...and these were its bytes
    int reportedOpenError = 0;

    ~Impl() { Forget(); }

    void Forget() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        loaded = false;
        fileExists = false;
        damaged = false;
        damagedBytes.clear();
    }

    void ReportOpenError(const std::string& path, int error, const char* reason = nullptr) {
        if (error == reportedOpenError)
            return;
        reportedOpenError = error;
        Log::Error("the registry file \"%s\" cannot be read: %s", path.c_str(), reason ? reason : std::strerror(error));
    }

    // Brings `tree` up to the file on disk; 0, or the errno of a file that exists
    // but cannot be read (it is then taken as empty).
    int Refresh(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            int error = errno;
            if (error == ENOENT) {
                if (!loaded || fileExists) {
                    Forget();
                    tree = RegistryTree();
                    loaded = true;
                }
                reportedOpenError = 0;
                return 0;
            }
            Forget();
            tree = RegistryTree();
            ReportOpenError(path, error);
            return error;
        }
        if (loaded && fileExists && identity == FileIdentity::Of(st))
            return 0;

        // Without O_NONBLOCK a FIFO in the file's place would hold the open forever;
        // a link is followed, since a store may be a link to its real file.
        int newFd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (newFd < 0) {
            int error = errno;
            if (error == ENOENT)  // replaced and gone between stat and open: look again
                return Refresh(path);
            Forget();
            tree = RegistryTree();
            ReportOpenError(path, error);
            return error;
        }
        bool statFailed = ::fstat(newFd, &st) != 0;
        if (statFailed || !S_ISREG(st.st_mode)) {
            int error = statFailed ? errno : (S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
            ::close(newFd);
            Forget();
            tree = RegistryTree();
            ReportOpenError(path, error, statFailed ? nullptr : "it is not a regular file");
            return error;
        }
        std::string bytes;
        if (!ReadDescriptor(newFd, bytes)) {
            int error = errno ? errno : EIO;
            ::close(newFd);
            Forget();
            tree = RegistryTree();
            ReportOpenError(path, error);
            return error;
        }
        reportedOpenError = 0;
        Adopt(path, newFd, st, bytes);
        return 0;
    }

    void Adopt(const std::string& path, int newFd, const struct stat& st, const std::string& bytes) {
        RegFileContents contents = ParseRegFile(bytes, RootName(hive));
        Forget();
        tree = std::move(contents.tree);
        loaded = true;
        fileExists = true;
        identity = FileIdentity::Of(st);
        fd = newFd;
        if (!contents.errors.empty()) {
            damaged = true;
            damagedBytes = bytes;
            std::string more = contents.errors.size() > 1
                                   ? " and " + std::to_string(contents.errors.size() - 1) + " more"
                                   : std::string();
            Log::Warning("the registry file \"%s\" is damaged (%s%s); its readable part is used", path.c_str(),
                         contents.errors.front().c_str(), more.c_str());
        }
    }

    // The file just written under the write lock: no other writer can have replaced it.
    void AdoptWritten(const std::string& path, RegistryTree written) {
        int newFd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (newFd < 0 || ::fstat(newFd, &st) != 0) {
            if (newFd >= 0)
                ::close(newFd);
            Forget();  // read it afresh next time
            return;
        }
        Forget();
        tree = std::move(written);
        loaded = true;
        fileExists = true;
        identity = FileIdentity::Of(st);
        fd = newFd;
    }

    // Read, modify, write: under the in-process mutex (held by the caller) and the
    // file lock, the newest file is read, the edits are made in a copy, and the
    // copy is put in place whole. `changed` tells whether any edit changed anything.
    int Modify(const std::string& path, const std::vector<Edit>& edits, bool& changed) {
        changed = false;
        if (path.empty())
            return ENOENT;
        std::string folder = FolderOf(path, "");
        if (!folder.empty() && !MakeFolders(folder, folderMode)) {
            int error = errno;  // EEXIST: something that is not a folder is in the way
            return error == 0 || error == EEXIST ? ENOTDIR : error;
        }
        WriteLock lock(path + ".lock", fileMode);
        if (lock.error != 0)
            return lock.error;
        // A file that exists but cannot be read is not overwritten.
        if (int error = Refresh(path); error != 0)
            return error;

        RegistryTree next = tree;
        for (const Edit& edit : edits)
            changed = Apply(next, edit) || changed;
        if (!changed)
            return 0;
        // Under the lock no other writer is at work: a temporary file of an ended
        // process is a killed write's.
        RemoveStaleTemporaries(path + ".bad");
        if (damaged) {
            // Keep the damaged file as it was found before its unreadable part is dropped.
            if (int error = WriteFileAtomically(path + ".bad", damagedBytes, fileMode); error != 0)
                return error;
        }
        if (int error = WriteFileAtomically(path, FormatRegFile(next, RootName(hive)), fileMode); error != 0)
            return error;
        AdoptWritten(path, std::move(next));
        return 0;
    }
};

RegistryStore::RegistryStore(std::string filePath, Hive hive)
    : path(std::move(filePath)), impl(std::make_shared<Impl>()) {
    impl->hive = hive;
    // The machine-wide hive is written by the installer and read by every user.
    impl->fileMode = hive == Hive::CurrentUser ? 0600 : 0644;
    impl->folderMode = hive == Hive::CurrentUser ? 0700 : 0755;
}

RegistryStore::~RegistryStore() = default;

RegistryStore& RegistryStore::ForHive(Hive hive) {
    const char* env = std::getenv(hive == Hive::CurrentUser ? "QUOR_HKCU_FILE" : "QUOR_HKLM_FILE");
    std::string file;
    if (env && *env) {
        file = env;
    } else if (hive == Hive::LocalMachine) {
        file = "/etc/xdg/Brindlemoor/hklm.reg";
    } else {
        std::string config = XdgConfigHome();
        if (!config.empty())  // else no file: reads find nothing and writes fail
            file = config + "/Brindlemoor/hkcu.reg";
    }
    std::lock_guard<std::mutex> lock(storesGuard);
    if (!stores)
        stores = new StoreMap;
    std::unique_ptr<RegistryStore>& store = (*stores)[{hive, file}];
    if (!store)
        store = std::make_unique<RegistryStore>(file, hive);
    return *store;
}

void RegistryStore::ReleaseAll() {
    std::lock_guard<std::mutex> lock(storesGuard);
    delete stores;
    stores = nullptr;
}

bool RegistryStore::KeyExists(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    impl->Refresh(path);
    return impl->tree.Find(keyPath) != nullptr;
}

std::optional<RegistryValue> RegistryStore::ReadValue(const std::string& keyPath, const std::string& valueName) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    impl->Refresh(path);
    const RegistryTree::Key* key = impl->tree.Find(keyPath);
    if (!key)
        return std::nullopt;
    auto it = key->values.find(FoldName(valueName));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

std::vector<std::string> RegistryStore::ValueNames(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    impl->Refresh(path);
    return impl->tree.ValueNames(keyPath);
}

std::vector<std::string> RegistryStore::SubkeyNames(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    impl->Refresh(path);
    return impl->tree.SubkeyNames(keyPath);
}

RegistryStore::Edit RegistryStore::Edit::CreateKey(std::string keyPath) {
    return {Kind::CreateKey, std::move(keyPath), {}, {}};
}

RegistryStore::Edit RegistryStore::Edit::WriteValue(std::string keyPath, std::string valueName, RegistryValue value) {
    return {Kind::WriteValue, std::move(keyPath), std::move(valueName), std::move(value)};
}

RegistryStore::Edit RegistryStore::Edit::DeleteValue(std::string keyPath, std::string valueName) {
    return {Kind::DeleteValue, std::move(keyPath), std::move(valueName), {}};
}

RegistryStore::Edit RegistryStore::Edit::DeleteKey(std::string keyPath) {
    return {Kind::DeleteKey, std::move(keyPath), {}, {}};
}

int RegistryStore::Write(const std::vector<Edit>& edits) {
    bool changed = false;
    return Write(edits, changed);
}

int RegistryStore::Write(const std::vector<Edit>& edits, bool& changed) {
    changed = false;
    for (const Edit& edit : edits)
        if (!Allowed(edit))
            return EINVAL;
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return impl->Modify(path, edits, changed);
}

int RegistryStore::CreateKey(const std::string& keyPath) {
    return Write({Edit::CreateKey(keyPath)});
}

int RegistryStore::WriteValue(const std::string& keyPath, const std::string& valueName, const RegistryValue& value) {
    return Write({Edit::WriteValue(keyPath, valueName, value)});
}

int RegistryStore::DeleteValue(const std::string& keyPath, const std::string& valueName) {
    bool deleted = false;
    int error = Write({Edit::DeleteValue(keyPath, valueName)}, deleted);
    return error != 0 ? error : deleted ? 0 : ENOENT;
}

int RegistryStore::DeleteKey(const std::string& keyPath) {
    bool deleted = false;
    int error = Write({Edit::DeleteKey(keyPath)}, deleted);
    return error != 0 ? error : deleted ? 0 : ENOENT;
}

}  // namespace platform
