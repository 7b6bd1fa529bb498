#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> names;
    FILE* pipe = popen(("nm -D --defined-only -C '" + library + "'").c_str(), "r");
    if (!pipe)
        return names;
    char line[4096];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        // "<address> <type> <name>"
        const size_t first = text.find(' ');
        const size_t second = first == std::string::npos ? std::string::npos : text.find(' ', first + 1);
        if (second != std::string::npos)
            names.insert(text.substr(second + 1));
    }
    pclose(pipe);
    return names;
}

}  // namespace

TEST(ExportList, TheLibraryExportsExactlyThe27Functions) {
    const std::string w =
        "std::__cxx11::basic_string<wchar_t, std::char_traits<wchar_t>, std::allocator<wchar_t> > const&";
    const std::set<std::string> expected = {
        "PMB_Lib_CheckIsPMBPresent(wchar_t**, wchar_t**)",
        "PMB_Lib_InstallPMB(" + w + ")",
        "PMB_Lib_LaunchPMBApplication(" + w + ")",
        "PMB_Lib_CheckPMBIsLoggedIn()",
        "PMB_Lib_CheckAndReStartPMB(PDLibCode&)",
        "PMB_Lib_StartPMB(PDLibCode&, " + w + ")",
        "PMB_Lib_SetMinimumRequiredVersion(" + w + ")",
        "PMB_Lib_GetMinimumRequiredVersion[abi:cxx11]()",
        "PMB_Lib_SetPMBPort(int)",
        "PMB_Lib_GetPMBPort()",
        "PMB_Lib_Version()",
        "PMB_Lib_LoginStatus()",
        "PMB_Lib_GetToken(" + w + ")",
        "PMB_Lib_ValidateDiskToken(" + w + ")",
        "PMB_Lib_SetKeyValue(" + w + ", " + w + ", " + w + ")",
        "PMB_Lib_GetKeyValue(" + w + ", " + w + ")",
        "PMB_Lib_ShutDown()",
        "PMB_Lib_Upgrade()",
        "PMB_Lib_StartTransfer(PDLibCode&, " + w + ", " + w + ", bool)",
        "PMB_Lib_StatusTransfer(PDLibCode&, " + w + ")",
        "PMB_Lib_PauseTransfer(PDLibCode&, " + w + ")",
        "PMB_Lib_ResumeTransfer(PDLibCode&, " + w + ")",
        "PMB_Lib_CancelTransfer(PDLibCode&, " + w + ", bool)",
        "PMB_Lib_OpenTransfer(PDLibCode&, " + w + ", bool)",
        "PMB_Lib_UpdateTransfer(PDLibCode&, " + w + ", bool)",
        "PMB_Lib_FilesTransfer(PDLibCode&, " + w + ")",
        "PMB_Lib_InfoTransfer(PDLibCode&, " + w + ")",
    };
    ASSERT_EQ(expected.size(), 27u);
    EXPECT_EQ(DefinedDynamicSymbols(std::string(QUOR_BINARY_DIR) + "/booster/libquorbooster.so"), expected);
}

TEST(ExportList, TheLibraryLoadsOnItsOwnAndAnswers) {
    void* library =
        dlopen((std::string(QUOR_BINARY_DIR) + "/booster/libquorbooster.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto setPort = reinterpret_cast<void (*)(int)>(dlsym(library, "_Z18PMB_Lib_SetPMBPorti"));
    auto getPort = reinterpret_cast<int (*)()>(dlsym(library, "_Z18PMB_Lib_GetPMBPortv"));
    ASSERT_TRUE(setPort && getPort);
    EXPECT_EQ(getPort(), 60524);
    setPort(4242);
    EXPECT_EQ(getPort(), 4242);
    EXPECT_EQ(dlsym(library, "_Z13WStringToUtf8RKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE"), nullptr);
    dlclose(library);
}
