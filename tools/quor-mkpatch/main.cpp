// quor-mkpatch: makes the ".quorpatch" file that takes one build of a game to the next.
//
//   quor-mkpatch [--bsdiff PROGRAM] [--diff | --whole] OLD_FOLDER NEW_FOLDER PATCH_FILE
//
// Changed files get a binary diff or are written whole, whichever is smaller;
// --diff always diffs them, --whole always writes them. Prints one line per entry.
// Exit status: 0 written, 1 failed, 2 wrong use.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/quor-mkpatch/PatchBuilder.h"

int main(int argc, char** argv) {
    std::string bsdiff = "bsdiff";
    PatchBuilder::ChangedFiles rule = PatchBuilder::ChangedFiles::Smallest;
    std::vector<std::string> paths;
    bool wrongUse = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--bsdiff" && i + 1 < argc)
            bsdiff = argv[++i];
        else if (a == "--diff")
            rule = PatchBuilder::ChangedFiles::AlwaysDiff;
        else if (a == "--whole")
            rule = PatchBuilder::ChangedFiles::AlwaysWrite;
        else if (a.rfind("--", 0) == 0)
            wrongUse = true;
        else
            paths.push_back(a);
    }
    if (wrongUse || paths.size() != 3) {
        std::fputs("usage: quor-mkpatch [--bsdiff PROGRAM] [--diff | --whole] OLD_FOLDER NEW_FOLDER PATCH_FILE\n",
                   stderr);
        return 2;
    }
    PatchBuilder builder(bsdiff);
    builder.SetChangedFiles(rule);
    if (!builder.Build(paths[0], paths[1], paths[2])) {
        std::fprintf(stderr, "quor-mkpatch: %s\n", builder.Error().c_str());
        return 1;
    }
    static const char* const kNames[] = {"write", "delete", "diff"};
    for (const PatchBuilder::Entry& e : builder.Entries())
        std::printf("%-6s %08x %08x %8u %s\n", kNames[static_cast<int>(e.operation)], e.oldCrc, e.newCrc, e.dataSize,
                    e.path.c_str());
    return 0;
}
