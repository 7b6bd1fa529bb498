#include "core/system/DiscSearch.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "core/system/FileUtils.h"
#include "core/text/StringUtils.h"
#include "platform/HexDigit.h"
#include "platform/MountWatch.h"
#include "platform/PathParts.h"

namespace {

const char* const kAlwaysCountingLabel = "brindlemoor";

struct Disc {
    std::string device;      // base name, such as "sr0"
    std::string mountPoint;  // with a trailing "/"
};

// The mount table writes blanks, tabs, newlines and backslashes as "\ooo".
std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char* d = field.c_str() + i + 1;
            if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' && d[2] <= '7') {
                out += static_cast<char>((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// udev writes unsafe bytes of a label (a blank, "/", ...) as "\xHH".
std::string UnescapeUdevLabel(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            int hi = platform::HexDigitValue(name[i + 2]), lo = platform::HexDigitValue(name[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

// Optical drives by their first mount, in the order of the mount table.
std::vector<Disc> MountedDiscs(const std::string& mountsFile) {
    std::vector<Disc> discs;
    std::ifstream in(mountsFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type))
            continue;
        if (type != "iso9660" && type != "udf")
            continue;
        device = UnescapeMountField(device);
        // /dev/cdrom and other links name the same drive.
        char resolved[PATH_MAX];
        if (realpath(device.c_str(), resolved))
            device = resolved;
        if (device.rfind("/dev/sr", 0) != 0)
            continue;
        std::string name = platform::BaseName(device);
        bool known = false;
        for (const Disc& d : discs)
            known = known || d.device == name;
        if (known)
            continue;
        mountPoint = UnescapeMountField(mountPoint);
        if (mountPoint.empty() || mountPoint.back() != '/')
            mountPoint += '/';
        discs.push_back({name, mountPoint});
    }
    return discs;
}

// MountedDiscs, read again only when the table changed: the search runs twice a
// second for as long as the window is open, and mounts change rarely.
std::vector<Disc> CurrentDiscs(const std::string& mountsFile) {
    struct Table {
        std::unique_ptr<MountWatch> watch;
        std::vector<Disc> discs;
    };
    static std::mutex lock;
    static std::map<std::string, Table> tables;
    std::lock_guard<std::mutex> guard(lock);
    auto found = tables.find(mountsFile);
    if (found == tables.end()) {
        if (tables.size() >= 8)  // only a test's fixtures come and go
            tables.clear();
        found = tables.emplace(mountsFile, Table{std::make_unique<MountWatch>(mountsFile), {}}).first;
    }
    if (found->second.watch->Changed())
        found->second.discs = MountedDiscs(mountsFile);
    return found->second.discs;
}

// Device base name -> label, from the label folder's links (such as "../../sr0").
std::map<std::string, std::string> VolumeLabels(const std::string& labelFolder) {
    std::map<std::string, std::string> labels;
    DIR* dir = opendir(labelFolder.c_str());
    if (!dir)
        return labels;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        char target[PATH_MAX];
        ssize_t n = readlink((labelFolder + "/" + name).c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        labels[platform::BaseName(std::string(target, static_cast<size_t>(n)))] = UnescapeUdevLabel(name);
    }
    closedir(dir);
    return labels;
}

}  // namespace

DiscSources& DiscSources::Current() {
    static DiscSources sources;
    return sources;
}

std::string FindGameDisc(const std::vector<std::string>& labels) {
    return FindGameDisc(labels, DiscSources::Current());
}

std::string FindGameDisc(const std::vector<std::string>& labels, const DiscSources& sources) {
    std::vector<std::string> wanted;
    for (const std::string& label : labels)
        if (!label.empty())  // an empty label would make every disc the game's
            wanted.push_back(LowerAscii(label));
    wanted.push_back(kAlwaysCountingLabel);

    const std::vector<Disc> discs = CurrentDiscs(sources.mountsFile);
    if (discs.empty())
        return {};
    // Labels come and go without a mount (udev names a disc after its mount
    // too), so they are read on every search that has a disc to match.
    const std::map<std::string, std::string> volumeLabels = VolumeLabels(sources.labelFolder);
    std::string result;
    for (const Disc& disc : discs) {
        auto found = volumeLabels.find(disc.device);
        if (found == volumeLabels.end())
            continue;  // a disc without a readable label does not count
        const std::string volume = LowerAscii(found->second);
        for (const std::string& w : wanted)
            if (volume.find(w) != std::string::npos) {
                result = disc.mountPoint;
                break;
            }
    }
    return result;
}

std::string FindDiscInstall(const std::vector<std::string>& patterns, const std::vector<std::string>& labels) {
    return FindDiscInstall(patterns, labels, DiscSources::Current());
}

std::string FindDiscInstall(const std::vector<std::string>& patterns, const std::vector<std::string>& labels,
                            const DiscSources& sources) {
    std::string root = FindGameDisc(labels, sources);
    if (root.empty())
        return {};
    for (const std::string& pattern : patterns) {
        std::string name = FindFileInFolder(pattern, root);
        if (!name.empty())
            return root + name;
    }
    return {};
}
