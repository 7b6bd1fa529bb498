#include "tools/demo-publisher/DemoContent.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "tools/demo-publisher/PngImage.h"
#include "tools/quor-mkpatch/PatchBuilder.h"

namespace fs = std::filesystem;

namespace {

std::string Base64(const std::string& bytes) {
    static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t line = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            n |= static_cast<uint8_t>(bytes[i + 2]);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
        if (++line == 19) {  // 76 characters a line
            out += '\n';
            line = 0;
        }
    }
    if (line)
        out += '\n';
    return out;
}

std::string Xml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Hex(uint32_t v) {
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08x", v);
    return buffer;
}

bool WriteFile(const std::string& path, const std::string& bytes, bool executable, std::string& error) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    if (executable)
        chmod(path.c_str(), 0755);
    return true;
}

const std::string kEmpty;

}  // namespace

std::string DemoContent::PatchFileName(const DemoGame& game, int from) {
    return game.slug + "-" + std::to_string(from) + "-" + std::to_string(from + 1) + ".quorpatch";
}

std::string DemoContent::UpdateInstallerPath(int32_t version) {
    return "/quor/update/QuorSetup-" + std::to_string(version) + ".exe";
}

std::string DemoContent::BuildFolder(const DemoGame& game, int build) const {
    return options.dataFolder + "/builds/" + game.slug + "/" + std::to_string(build);
}

std::string DemoContent::InstallerScript(const DemoGame& game, const std::map<std::string, std::string>& files) const {
    std::string s =
        "#!/bin/sh\n"
        "# Installer of " +
        game.name +
        " (build 1) from Brindlemoor Demo: installs the game into\n"
        "# ~/Games/" +
        game.name +
        "/ and records its folder and program in the registry.\n"
        "set -e\n"
        "game=" +
        ShellQuote(game.name) +
        "\n"
        "record_dir=${QUOR_DEMO_RECORD_DIR:-" +
        ShellQuote(options.recordFolder) +
        "}\n"
        "# The registry tool: the one named here, else beside the installer, else on PATH.\n"
        "quor_reg=${QUOR_REG:-" +
        ShellQuote(options.quorReg) +
        "}\n"
        "here=$(cd \"$(dirname \"$0\")\" && pwd)\n"
        "if [ ! -x \"$quor_reg\" ]; then\n"
        "  if [ -x \"$here/quor-reg\" ]; then quor_reg=\"$here/quor-reg\"; else quor_reg=quor-reg; fi\n"
        "fi\n"
        "mkdir -p \"$record_dir\"\n"
        "log=\"$record_dir/" +
        game.slug +
        "-installs.log\"\n"
        "printf 'install start %s [%s]\\n' \"$$\" \"$*\" >> \"$log\"\n"
        "dest=\"$HOME/Games/$game\"\n"
        "unpack() {\n"
        "  mkdir -p \"$(dirname \"$dest/$1\")\"\n"
        "  base64 -d > \"$dest/$1.installing\"\n"
        "  mv -f \"$dest/$1.installing\" \"$dest/$1\"\n"
        "}\n";
    for (const auto& [path, bytes] : files)
        s += "unpack " + ShellQuote(path) + " <<'QUOR_DEMO_DATA'\n" + Base64(bytes) + "QUOR_DEMO_DATA\n";
    s += "chmod +x \"$dest/" + game.exeName +
         "\"\n"
         "\"$quor_reg\" set-string " +
         ShellQuote(game.RegistryKey()) + " " + DemoGame::kInstallPathValue +
         " \"$dest/\"\n"
         "\"$quor_reg\" set-string " +
         ShellQuote(game.RegistryKey()) + " " + DemoGame::kProgramValue + " " + ShellQuote(game.exeName) +
         "\n"
         "printf 'install done %s\\n' \"$$\" >> \"$log\"\n";
    return s;
}

bool DemoContent::Generate(const Options& opts, std::string& error) {
    options = opts;
    games.clear();
    std::error_code ec;
    fs::create_directories(options.recordFolder, ec);
    for (const DemoGame& game : DemoGame::All()) {
        GameContent& content = games[game.slug];
        std::string script = game.GameScript(options.recordFolder, options.playSeconds);
        for (int b = 1; b <= DemoGame::kBuilds; ++b) {
            content.builds[b] = game.BuildFiles(b, script);
            for (const auto& [path, bytes] : content.builds[b]) {
                if (!WriteFile(BuildFolder(game, b) + "/" + path, bytes, path == game.exeName, error))
                    return false;
            }
        }
        for (int b = 1; b < DemoGame::kBuilds; ++b) {
            std::string file = options.dataFolder + "/patches/" + game.slug + "/" + PatchFileName(game, b);
            fs::create_directories(fs::path(file).parent_path(), ec);
            PatchBuilder builder(options.bsdiff);
            if (!builder.Build(BuildFolder(game, b), BuildFolder(game, b + 1), file)) {
                error = builder.Error();
                return false;
            }
            if (!PatchBuilder::ReadFile(file, content.patches[b])) {
                error = "cannot read " + file;
                return false;
            }
        }
        content.installer = InstallerScript(game, content.builds[1]);
        content.brokenInstaller =
            "#!/bin/sh\n"
            "# A broken installer of " +
            game.name +
            ": it gives up without installing anything.\n"
            "record_dir=${QUOR_DEMO_RECORD_DIR:-" +
            ShellQuote(options.recordFolder) +
            "}\n"
            "mkdir -p \"$record_dir\"\n"
            "printf 'install broken %s\\n' \"$$\" >> \"$record_dir/" +
            game.slug +
            "-installs.log\"\n"
            "exit 1\n";
        content.banner =
            PngImage::Banner(560, 200, game.colourA, game.colourB, static_cast<uint32_t>(game.id)).Encode();
        content.icon = PngImage::Icon(32, game.colourB, game.colourA).Encode();
        std::string base = options.dataFolder + "/";
        if (!WriteFile(base + "installers/" + game.slug + "/" + game.setupName, content.installer, true, error) ||
            !WriteFile(base + "installers/" + game.slug + "/broken/" + game.setupName, content.brokenInstaller, true,
                       error) ||
            !WriteFile(base + "banners/" + game.slug + ".png", content.banner, false, error) ||
            !WriteFile(base + "icons/" + game.slug + ".png", content.icon, false, error))
            return false;
    }
    updateInstaller =
        "#!/bin/sh\n"
        "# The launcher's update installer from the demo publisher: notes that it ran, with\n"
        "# its parameters and its session, keeps going a moment after the launcher has\n"
        "# ended, and ends.\n"
        "record_dir=${QUOR_DEMO_RECORD_DIR:-" +
        ShellQuote(options.recordFolder) +
        "}\n"
        "mkdir -p \"$record_dir\"\n"
        "log=\"$record_dir/update-installer.log\"\n"
        "args=\"$*\"\n"
        "set -- $(cat /proc/$$/stat)\n"
        "printf 'update start %s ppid=%s sid=%s [%s]\\n' \"$1\" \"$4\" \"$6\" \"$args\" >> \"$log\"\n"
        "sleep 2\n"
        "printf 'update done %s\\n' \"$1\" >> \"$log\"\n";
    return WriteFile(options.dataFolder + "/update/QuorSetup.exe", updateInstaller, true, error);
}

std::string DemoContent::Manifest(const std::string& base, const PublisherSettings& settings) const {
    std::string q = base + "/quor";
    std::string m =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<manifest>\n"
        "  <autoupdate version=\"" +
        std::to_string(settings.updateVersion) + "\" httpurl=\"" +
        Xml(base + UpdateInstallerPath(settings.updateVersion)) + "\" manifestversion=\"demo-" +
        std::to_string(settings.generation) + "\" gameurl=\"" + Xml(q + "/game.html") + "\" allgamesurl=\"" +
        Xml(q + "/games.html") + "\" manifestrefreshtime=\"" + std::to_string(settings.manifestRefreshTime) +
        "\" monitorrefreshtime=\"600000\"/>\n";
    for (const DemoGame& g : DemoGame::All()) {
        std::string gq = q + "/games/" + g.slug;
        m += "  <download id=\"" + std::to_string(g.id) + "\" name=\"" + Xml(g.name) + "\" homepage=\"" +
             Xml(gq + "/") + "\" banner=\"" + Xml(q + "/banners/" + g.slug + ".png") + "\" iconurl=\"" +
             Xml(q + "/icons/" + g.slug + ".png") + "\" url=\"" + Xml(gq + "/" + g.setupName) + "\" exename=\"" +
             Xml(g.exeName) + "\" exeparams=\"" + Xml(g.exeParams) + "\" patchcatalog=\"" +
             Xml(gq + "/patches/catalog.xml") + "\" installmanifest=\"" + Xml(gq + "/install.txt") +
             "\" installlocation=\"" + Xml(gq + "/files/") + "\" requirelogin=\"" + (g.requireLogin ? "1" : "0") +
             "\">\n"
             "    <location installkey=\"" +
             Xml("HKEY_CURRENT_USER\\" + g.RegistryKey()) + "\" launchpathsubkey=\"" + DemoGame::kInstallPathValue +
             "\" launchfilesubkey=\"" + DemoGame::kProgramValue +
             "\"/>\n"
             "  </download>\n";
    }
    return m + "</manifest>\n";
}

uint32_t DemoContent::ShibbolethCrc(const DemoGame& game, int build) const {
    return PatchBuilder::Crc32(Of(game).builds.at(build).at(DemoGame::kShibboleth));
}

std::string DemoContent::PatchCatalogue(const DemoGame& game, const std::string& base,
                                        const PublisherSettings& settings) const {
    int latest = std::clamp(settings.catalogueLatest, 1, DemoGame::kBuilds);
    std::string c =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n"
        "  <shibboleth installkey=\"" +
        Xml("HKEY_CURRENT_USER\\" + game.RegistryKey()) + "\" installpathsubkey=\"" + DemoGame::kInstallPathValue +
        "\" file=\"" + DemoGame::kShibboleth + "\"/>\n";
    for (int b = 1; b <= latest; ++b)
        c += "  <build version=\"" + std::to_string(b) + "\" checksum=\"" + Hex(ShibbolethCrc(game, b)) + "\"" +
             (b == latest ? " latest=\"true\"" : "") + "/>\n";
    for (int b = 1; b < latest; ++b)
        c += "  <patch start=\"" + std::to_string(b) + "\" end=\"" + std::to_string(b + 1) + "\" url=\"" +
             Xml(base + "/quor/games/" + game.slug + "/patches/" + PatchFileName(game, b)) + "\"/>\n";
    return c + "</catalog>\n";
}

std::string DemoContent::InstallManifest(const DemoGame& game, const PublisherSettings& settings) const {
    int latest = std::clamp(settings.RepairBuild(), 1, DemoGame::kBuilds);
    std::string text;
    for (const auto& [path, bytes] : Of(game).builds.at(latest)) {
        std::string windows = "\\" + path;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        text += windows + "," + std::to_string(PatchBuilder::Crc32(bytes)) + "\r\n";
    }
    return text;
}

bool DemoContent::BuildFile(const DemoGame& game, int build, const std::string& path, std::string& bytes) const {
    if (build < 1 || build > DemoGame::kBuilds)
        return false;
    const auto& files = Of(game).builds.at(build);
    auto it = files.find(path);
    if (it == files.end())
        return false;
    bytes = it->second;
    return true;
}

const std::string& DemoContent::Installer(const DemoGame& game, bool broken) const {
    return broken ? Of(game).brokenInstaller : Of(game).installer;
}

const std::string& DemoContent::Patch(const DemoGame& game, int from) const {
    if (from < 1 || from >= DemoGame::kBuilds)
        return kEmpty;
    return Of(game).patches.at(from);
}

const std::string& DemoContent::Banner(const DemoGame& game) const {
    return Of(game).banner;
}
const std::string& DemoContent::Icon(const DemoGame& game) const {
    return Of(game).icon;
}
