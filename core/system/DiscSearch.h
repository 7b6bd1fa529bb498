#pragma once
#include <string>
#include <vector>

// Where the disc search looks: the mount table and udev's folder of volume
// labels. Tests point them at fixtures.
struct DiscSources {
    std::string mountsFile = "/proc/self/mounts";
    std::string labelFolder = "/dev/disk/by-label";

    // The process-wide sources the one-argument calls use.
    static DiscSources& Current();
};

// The mount folder (with a trailing "/") of the game disc: an iso9660 or udf
// file system on an optical drive (/dev/sr*) whose volume label contains one of
// the labels, or "brindlemoor", without regard to ASCII case. The last matching
// disc wins; empty when none matches. Empty wanted labels are ignored.
std::string FindGameDisc(const std::vector<std::string>& labels);
std::string FindGameDisc(const std::vector<std::string>& labels, const DiscSources& sources);

// The game disc's folder followed by the first file that matches one of the
// patterns (tried in order, FindFileInFolder); empty when there is none.
std::string FindDiscInstall(const std::vector<std::string>& patterns, const std::vector<std::string>& labels);
std::string FindDiscInstall(const std::vector<std::string>& patterns, const std::vector<std::string>& labels,
                            const DiscSources& sources);
