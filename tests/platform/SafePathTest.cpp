#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/SafePath.h"

namespace {

using platform::SafeJoin;
using namespace std::string_literals;

struct JoinCase {
    std::string base;
    std::string relative;
    std::optional<std::string> expected;  // nullopt: refused
};

void PrintTo(const JoinCase& c, std::ostream* os) {
    *os << "base \"" << c.base << "\" relative \"";
    for (char ch : c.relative)
        *os << (ch == '\0' ? std::string("\\0") : std::string(1, ch));
    *os << "\"";
}

class SafeJoinTable : public testing::TestWithParam<JoinCase> {};

TEST_P(SafeJoinTable, JoinsOrRefuses) {
    const JoinCase& c = GetParam();
    EXPECT_EQ(SafeJoin(c.base, c.relative), c.expected);
}

const std::optional<std::string> kRefused;

INSTANTIATE_TEST_SUITE_P(
    Cases, SafeJoinTable,
    testing::Values(
        // One leading separator stands for the base itself.
        JoinCase{"/g", "\\bin", "/g/bin"}, JoinCase{"/g", "/bin", "/g/bin"}, JoinCase{"/g", "bin", "/g/bin"},
        JoinCase{"/g", "\\", "/g"}, JoinCase{"/g", "/", "/g"},
        // Both separators, mixed, doubled and trailing.
        JoinCase{"/g", "a\\b/c", "/g/a/b/c"}, JoinCase{"/g", "\\a\\b\\c.dat", "/g/a/b/c.dat"},
        JoinCase{"/g", "a//b\\\\c", "/g/a/b/c"}, JoinCase{"/g", "a\\b\\", "/g/a/b"}, JoinCase{"/g", "a/b/", "/g/a/b"},
        // "." parts are no-ops.
        JoinCase{"/g", "./a/./b/.", "/g/a/b"}, JoinCase{"/g", ".", "/g"},
        // Empty relative is the base.
        JoinCase{"/g", "", "/g"},
        // Base with or without trailing "/".
        JoinCase{"/g/", "bin", "/g/bin"}, JoinCase{"/g//", "\\bin", "/g/bin"}, JoinCase{"/g/", "", "/g"},
        JoinCase{"/", "bin", "/bin"},
        // Names that only look special stay names.
        JoinCase{"/g", "...", "/g/..."}, JoinCase{"/g", "..a/b..", "/g/..a/b.."}, JoinCase{"/g", "ab:c", "/g/ab:c"},
        JoinCase{"/g", "a/C:x", "/g/a/C:x"}, JoinCase{"/g", "1:x", "/g/1:x"},
        JoinCase{"/g", "Spiel \xc3\xbc.exe", "/g/Spiel \xc3\xbc.exe"},
        // ".." parts are refused wherever they are.
        JoinCase{"/g", "..", kRefused}, JoinCase{"/g", "\\..", kRefused}, JoinCase{"/g", "a/../b", kRefused},
        JoinCase{"/g", "a\\..\\..\\etc", kRefused}, JoinCase{"/g", "a/..", kRefused},
        // Drive prefixes.
        JoinCase{"/g", "C:x", kRefused}, JoinCase{"/g", "c:\\x", kRefused}, JoinCase{"/g", "C:", kRefused},
        JoinCase{"/g", "\\C:\\x", kRefused},
        // Absolute after the one stripped separator (UNC, "//etc").
        JoinCase{"/g", "\\\\server\\share", kRefused}, JoinCase{"/g", "//etc/passwd", kRefused},
        JoinCase{"/g", "/\\x", kRefused},
        // NUL bytes anywhere.
        JoinCase{"/g", "a\0b"s, kRefused}, JoinCase{"/g", "\0"s, kRefused}, JoinCase{"/g", "bin\0"s, kRefused},
        JoinCase{"/g\0x"s, "bin", kRefused},
        // No base, no join.
        JoinCase{"", "bin", kRefused}));

}  // namespace
