#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "games/patching/MemoryByteSource.h"
#include "games/patching/PatchFile.h"
#include "tests/games/patching/PatchTestSupport.h"
#include "tools/patch-writer/PatchFileWriter.h"

namespace {

// Three entries of each kind, as a real patch file has them.
std::string SamplePatch() {
    PatchFileWriter w;
    w.AddWrite("\\bin", "game.exe", CompressLzmaAlone("new program", false), patchtest::ZlibCrc("new program"));
    w.AddDelete("\\data", "old.pak");
    w.AddBinaryDiff("\\data", "level.pak", patchtest::BuildBsdiff({{3, 0, 0}}, std::string(3, '\0'), "", 3), 1, 2);
    return w.Bytes();
}

TEST(PatchFile, ReadsEveryField) {
    const std::string bytes = SamplePatch();
    MemoryByteSource source(bytes);
    PatchFile file(source);
    ASSERT_TRUE(file.ReadHeader());
    ASSERT_EQ(file.EntryCount(), 3u);
    PatchEntry e;
    ASSERT_TRUE(file.NextEntry(e));
    EXPECT_EQ(e.operation, kPatchWrite);
    EXPECT_EQ(e.folder, "\\bin");
    EXPECT_EQ(e.fileName, "game.exe");
    EXPECT_EQ(e.newCrc, patchtest::ZlibCrc("new program"));
    EXPECT_EQ(e.dataOffset, 16u + 1 + 5 + 9 + 12);
    EXPECT_EQ(bytes.substr(e.dataOffset, e.dataLength), CompressLzmaAlone("new program", false));
    ASSERT_TRUE(file.NextEntry(e));
    EXPECT_EQ(e.operation, kPatchDelete);
    EXPECT_EQ(e.dataLength, 0u);
    ASSERT_TRUE(file.NextEntry(e));
    EXPECT_EQ(e.operation, kPatchBinaryDiff);
    EXPECT_EQ(e.oldCrc, 1u);
    EXPECT_EQ(e.newCrc, 2u);
    EXPECT_EQ(e.bsdiff.newSize, 3u);
    EXPECT_EQ(file.Position(), bytes.size());
    EXPECT_TRUE(CheckPatchFile(source, "/install"));
}

TEST(PatchFile, BadHeaders) {
    PatchFileWriter w;
    const std::string good = w.Bytes();
    struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"header cut short", good.substr(0, 15)},
        {"first magic", "QUOX" + good.substr(4)},
        {"second magic", "QUORPATX" + good.substr(8)},
        {"version 2", w.Bytes(2)},
        {"version 0", w.Bytes(0)},
    };
    for (const auto& c : cases) {
        MemoryByteSource source(c.bytes);
        PatchFile file(source);
        EXPECT_FALSE(file.ReadHeader()) << c.what;
        EXPECT_FALSE(CheckPatchFile(source, "/install")) << c.what;
    }
    MemoryByteSource source(good);
    EXPECT_TRUE(CheckPatchFile(source, "/install"));  // count 0
}

TEST(PatchFile, EveryCutInsideAnEntryIsCorrupt) {
    const std::string bytes = SamplePatch();
    for (size_t size = 16; size < bytes.size(); ++size) {
        std::string cut = bytes.substr(0, size);
        MemoryByteSource source(cut);
        std::string problem;
        EXPECT_FALSE(CheckPatchFile(source, "/install", &problem)) << size;
        EXPECT_NE(problem, "") << size;
    }
    // A count larger than the entries there are.
    PatchFileWriter w;
    w.AddDelete("", "a");
    std::string more = w.Bytes(1, 2);
    MemoryByteSource source(more);
    EXPECT_FALSE(CheckPatchFile(source, "/install"));
}

TEST(PatchFile, LengthsMustLieInsideTheFileAndTheEntry) {
    auto check = [](const std::string& bytes) {
        MemoryByteSource source(bytes);
        return CheckPatchFile(source, "/install");
    };
    const std::string diff = patchtest::BuildBsdiff({{3, 0, 0}}, std::string(3, '\0'), "", 3);
    PatchFileWriter good;
    good.AddBinaryDiff("", "f", diff, 1, 2);
    EXPECT_TRUE(check(good.Bytes()));

    // L larger than what follows.
    std::string bytes = good.Bytes();
    bytes[16 + 1 + 1 + 2 + 8 + 3] = '\x7F';
    EXPECT_FALSE(check(bytes));
    // A diff shorter than its own header, a wrong magic, blocks outside the entry.
    PatchFileWriter shortDiff, wrongMagic, outside;
    shortDiff.AddBinaryDiff("", "f", diff.substr(0, 31), 1, 2);
    wrongMagic.AddBinaryDiff("", "f", "BSDIFF39" + diff.substr(8), 1, 2);
    outside.AddBinaryDiff("", "f", "BSDIFF40" + patchtest::EncodeBsdiffNumber(1000) + diff.substr(16), 1, 2);
    EXPECT_FALSE(check(shortDiff.Bytes()));
    EXPECT_FALSE(check(wrongMagic.Bytes()));
    EXPECT_FALSE(check(outside.Bytes()));
    // A bsdiff header is only required of binary-diff entries, and a path only of
    // the entries that touch files.
    PatchFileWriter other;
    other.AddEntry(7, "", "f", 0, 0, std::string(10, 'x'));
    other.AddEntry(3, "", "", 0, 0, "");
    other.AddEntry(255, "\\..", "..", 0, 0, "y");
    EXPECT_TRUE(check(other.Bytes()));
    for (uint8_t operation : {kPatchWrite, kPatchDelete, kPatchBinaryDiff}) {
        PatchFileWriter unnamed;
        unnamed.AddEntry(operation, "", "", 0, 0, operation == kPatchBinaryDiff ? diff : "");
        EXPECT_FALSE(check(unnamed.Bytes())) << int(operation);
    }
    // Texts up to 4096 bytes, longer than the first read of an entry, are read
    // whole; a longer one is no path.
    for (size_t length : {size_t{600}, size_t{4096}, size_t{4097}}) {
        PatchFileWriter text;
        text.AddDelete(std::string(length, 'a'), "f");
        text.AddDelete("", std::string(length, 'b'));
        std::string bytes = text.Bytes();
        MemoryByteSource source(bytes);
        PatchFile file(source);
        ASSERT_TRUE(file.ReadHeader());
        PatchEntry e;
        EXPECT_EQ(file.NextEntry(e), length <= 4096) << length;
        if (length <= 4096) {
            EXPECT_EQ(e.folder, std::string(length, 'a'));
            ASSERT_TRUE(file.NextEntry(e));
            EXPECT_EQ(e.fileName, std::string(length, 'b'));
        }
    }
}

TEST(PatchFile, EntryPaths) {
    struct {
        const char* folder;
        const char* name;
        std::optional<std::string> target;
    } cases[] = {
        // A leading separator of the folder belongs to the join.
        {"\\bin", "game.exe", "/install/bin/game.exe"},
        {"bin", "game.exe", "/install/bin/game.exe"},
        {"/bin", "game.exe", "/install/bin/game.exe"},
        // Exactly one separator between folder and name.
        {"\\bin\\", "game.exe", "/install/bin/game.exe"},
        {"\\bin", "\\game.exe", "/install/bin/game.exe"},
        {"", "game.exe", "/install/game.exe"},
        {"\\", "game.exe", "/install/game.exe"},
        {"\\data\\maps", "m1.pak", "/install/data/maps/m1.pak"},
        {"\\data/maps", "m1.pak", "/install/data/maps/m1.pak"},
        // Refused: leaving the install folder, drives, server paths, no name.
        {"\\..", "x", std::nullopt},
        {"\\bin\\..\\..", "x", std::nullopt},
        {"..", "x", std::nullopt},
        {"\\bin", "..\\x", std::nullopt},
        {"\\bin", "..", std::nullopt},
        {"C:\\Windows", "x", std::nullopt},
        {"\\C:\\Windows", "x", std::nullopt},
        {"\\\\server\\share", "x", std::nullopt},
        {"//etc", "passwd", std::nullopt},
        {"\\bin", "", std::nullopt},
        {"\\bin", ".", std::nullopt},
        {"\\bin", "sub\\", std::nullopt},
    };
    for (const auto& c : cases) {
        PatchEntry e;
        e.folder = c.folder;
        e.fileName = c.name;
        EXPECT_EQ(PatchEntryTarget("/install", e), c.target) << c.folder << " | " << c.name;
    }
    // A refused path makes the whole file corrupt.
    PatchFileWriter w;
    w.AddDelete("\\bin", "ok.dll");
    w.AddDelete("\\..\\..\\etc", "passwd");
    std::string bytes = w.Bytes();
    MemoryByteSource source(bytes);
    EXPECT_FALSE(CheckPatchFile(source, "/install"));
    // And so does an install folder the join refuses.
    PatchFileWriter one;
    one.AddDelete("\\bin", "ok.dll");
    std::string oneBytes = one.Bytes();
    MemoryByteSource oneSource(oneBytes);
    EXPECT_FALSE(CheckPatchFile(oneSource, ""));
}

}  // namespace
