// One settings write, as the launcher makes it, for tests that record its
// file-system calls:
//   quor_settings_child prefs NAME TEXT     Preferences NAME = TEXT; prints what reads back
//   quor_settings_child login NAME SECRET   saves the login; prints the name and secret read back
// Exit status 0 when the operation ran, 2 on a wrong command line.
#include <cstdio>
#include <cstring>

#include "core/settings/CredentialManager.h"
#include "core/settings/Prefs.h"

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "prefs") == 0) {
        Prefs::SetString(argv[2], argv[3]);
        std::printf("%s\n", Prefs::GetString(argv[2]).c_str());
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "login") == 0) {
        CredentialManager credentials;
        credentials.SaveLogin(argv[2], argv[3]);
        std::printf("%s\n%s\n", credentials.GetLoginName().c_str(), credentials.GetLoginSecret().c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: %s prefs NAME TEXT | login NAME SECRET\n", argv[0]);
    return 2;
}
