#include "tools/demo-publisher/DemoGame.h"

namespace {

// Bytes that look like game data and are the same in every run.
std::string PseudoRandom(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    uint32_t x = seed ? seed : 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x & 0xff);
    }
    return out;
}

void Overwrite(std::string& data, size_t at, const std::string& with) {
    data.replace(at, with.size(), with);
}

}  // namespace

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string DemoGame::RegistryKey() const {
    return "Software\\Brindlemoor Demo\\" + name;
}

const std::vector<DemoGame>& DemoGame::All() {
    static const std::vector<DemoGame> games = {
        {101, "Star Courier", "starcourier", "StarCourierSetup.exe", "starcourier.exe", "-w", false, 0x1d3b6a,
         0xd9773a},
        {102, "Moss Garden", "mossgarden", "MossGardenSetup.exe", "mossgarden.exe", "", true, 0x2f6b4c, 0xc9d86b},
        {103, "Lantern Keep", "lanternkeep", "LanternKeepSetup.exe", "lanternkeep.exe", "-windowed -lang en", false,
         0x3a2350, 0xf0b84a},
    };
    return games;
}

const DemoGame* DemoGame::Find(const std::string& name) {
    for (const DemoGame& g : All()) {
        if (g.name == name || g.slug == name)
            return &g;
    }
    return nullptr;
}

std::string DemoGame::GameScript(const std::string& recordFolder, int playSeconds) const {
    return "#!/bin/sh\n"
           "# " +
           name +
           ", a demo game of Brindlemoor Demo: notes how it was started,\n"
           "# plays for a moment and ends.\n"
           "record_dir=${QUOR_DEMO_RECORD_DIR:-" +
           ShellQuote(recordFolder) +
           "}\n"
           "mkdir -p \"$record_dir\"\n"
           "log=\"$record_dir/" +
           slug +
           "-runs.log\"\n"
           "line=\"start $$ cwd=[$(pwd)]\"\n"
           "for a in \"$@\"; do line=\"$line [$a]\"; done\n"
           "printf '%s\\n' \"$line\" >> \"$log\"\n"
           "sleep " +
           std::to_string(playSeconds) +
           "\n"
           "printf 'exit %s\\n' \"$$\" >> \"$log\"\n";
}

std::map<std::string, std::string> DemoGame::BuildFiles(int build, const std::string& gameScript) const {
    std::map<std::string, std::string> files;
    std::string b = std::to_string(build);
    files[exeName] = gameScript;
    files[kShibboleth] = name + " build " + b + "\n" + PseudoRandom(24, static_cast<uint32_t>(id * 131 + build));
    files["readme.txt"] = name + "\n\nA demo game of Brindlemoor Demo, build " + b +
                          ".\nStart it from Quor; it notes how it was started and ends after a moment.\n";

    std::string world = PseudoRandom(96 * 1024, static_cast<uint32_t>(id));
    if (build >= 2) {
        Overwrite(world, 1000, PseudoRandom(100, 7));
        world += PseudoRandom(2048, 8);
    }
    if (build >= 3)
        Overwrite(world, 50000, PseudoRandom(200, 9));
    files["data/world.pak"] = world;

    std::string level = "level one of " + name + "\n";
    for (int i = 0; i < 40; ++i)
        level += "row " + std::to_string(i) + ": " + std::string(static_cast<size_t>(20 + i % 7), '#') + "\n";
    if (build >= 3)
        level += "row 40: a secret passage\n";
    files["data/level one.dat"] = level;

    if (build <= 1)
        files["intro/old intro.txt"] = "The old introduction of " + name + ".\n";
    if (build <= 2)
        files["data/cache.tmp"] = PseudoRandom(512, static_cast<uint32_t>(id + 77));
    if (build >= 2)
        files["data/maps/new map.dat"] = "a map added in build 2\n" + PseudoRandom(1024, static_cast<uint32_t>(id + 5));
    if (build >= 3)
        files["extras/credits.txt"] = name + " was made for Quor's demo publisher.\n";
    return files;
}
