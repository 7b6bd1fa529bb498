// Writes a large manifest, or times reading one into manifest entries.
//   bench_manifest_parse generate FILE [ENTRIES]
//   bench_manifest_parse parse FILE      prints "<seconds of the parse> <entries>"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "games/catalogue/Manifest.h"
#include "platform/AtomicFile.h"

namespace {

int Generate(const std::string& path, int count) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest>\n"
        << "  <autoupdate httpurl=\"http://127.0.0.1:8731/quor/setup.exe\" version=\"31700\" "
           "manifestversion=\"bench\" monitorrefreshtime=\"600000\" gameurl=\"http://127.0.0.1:8731/game\" "
           "allgamesurl=\"http://127.0.0.1:8731/all\" manifestrefreshtime=\"7200\" campaignurl=\"\"/>\n";
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        out << "  <download name=\"Game " << n << "\" id=\"" << n << "\" homepage=\"http://127.0.0.1:8731/g/" << n
            << "\" banner=\"g" << n << ".png\" exename=\"game" << n << ".exe\" exeparams=\"-windowed\" "
            << "url=\"http://127.0.0.1:8731/dl/game" << n << ".exe\" patchcatalog=\"http://127.0.0.1:8731/p/" << n
            << ".xml\" installmanifest=\"http://127.0.0.1:8731/m/" << n << ".txt\" requirelogin=\"1\">\n"
            << "    <install_exe_keys><key>setup" << n << ".exe</key></install_exe_keys>\n"
            << "    <location installkey=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Game" << n
            << "\" launchpathsubkey=\"InstallDir\" launchfilesubkey=\"!game" << n << ".exe\"/>\n"
            << "  </download>\n";
    }
    out << "</manifest>\n";
    return out ? 0 : 1;
}

int Parse(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes))
        return 1;
    auto start = std::chrono::steady_clock::now();
    ManifestDocument document = ParseManifestDocument(bytes, kBannerFolder, "en");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %zu\n", seconds, document.entries.size());
    return document.entries.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "generate")
        return Generate(argv[2], argc >= 4 ? std::atoi(argv[3]) : 200000);
    if (argc >= 3 && std::string(argv[1]) == "parse")
        return Parse(argv[2]);
    std::fprintf(stderr, "usage: %s generate FILE [ENTRIES] | parse FILE\n", argv[0]);
    return 2;
}
