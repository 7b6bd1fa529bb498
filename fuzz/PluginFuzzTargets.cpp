#include "fuzz/PluginFuzzTargets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/common/BstrText.h"
#include "plugins/common/GameParameter.h"
#include "plugins/common/LaunchCommand.h"

namespace fuzztargets {

namespace {

void CheckLaunch(const std::string& game) {
    const auto command = LaunchCommand::Build("/opt/Quor Games", game);
    if (!command)
        return;
    bool sound = command->argv.size() == 2 && command->argv[0] == "/opt/Quor Games/Quor" &&
                 command->argv[1] == "/game:\"\"\"" + game + "\"\"\"" &&
                 command->argv[1].size() < LaunchCommand::kTextLimit;
    for (unsigned char c : game)
        sound = sound && c >= 0x20 && c != 0x7f && c != '"';
    if (!sound) {
        std::fprintf(stderr, "launch command built for a name it must refuse\n");
        std::abort();
    }
}

}  // namespace

int PluginParameters(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t end = bytes.find('\0', start);
        fields.push_back(bytes.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // Names and values alternate; a field "\x01" stands for a null pointer.
    std::vector<const char*> names, values;
    for (size_t i = 0; i < fields.size(); i += 2) {
        names.push_back(fields[i] == "\x01" ? nullptr : fields[i].c_str());
        const bool hasValue = i + 1 < fields.size() && fields[i + 1] != "\x01";
        values.push_back(hasValue ? fields[i + 1].c_str() : nullptr);
    }
    if (const auto game = FindGameParameter(static_cast<int>(names.size()), names.data(), values.data()))
        CheckLaunch(*game);

    // The same bytes as a BSTR of the length they have.
    const uint32_t byteLength = static_cast<uint32_t>(size & ~size_t{1});
    std::vector<char16_t> bstr(2 + byteLength / 2 + 1, 0);
    std::memcpy(bstr.data(), &byteLength, sizeof byteLength);
    std::memcpy(bstr.data() + 2, data, byteLength);
    if (const auto game = BstrToUtf8(bstr.data() + 2, LaunchCommand::kTextLimit))
        CheckLaunch(*game);
    return 0;
}

}  // namespace fuzztargets
