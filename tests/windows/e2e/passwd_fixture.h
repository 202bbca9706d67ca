// A passwd file in a folder of its own, rewritten for the Wine user under
// the login name "sshuser".
#pragma once

#include "windows/e2e/wine_machine.h"

#include <algorithm>

class PasswdFile : public WineTest {
  protected:
    void SetUp() override {
        WineTest::SetUp();
        Accounts(WineUserRecord());
        UseHomeMount();
        passwd_ = Path("etc\\passwd");
        ASSERT_TRUE(CreateDirectoryA(Path("etc").c_str(), NULL));
    }
    std::vector<std::string> Words(const std::string& login = "sshuser") const {
        return {"-u", TheWineUser().name, "-s", login, "-f", passwd_};
    }
    ProcessResult AddSshUser() {
        return Acctmap(Words());
    }
    std::string Entry(const std::string& login = "sshuser") const {
        return WineUserEntry(login, 513, "Wine User", "/cygdrive/C/users/" + TheWineUser().name);
    }
    // The files the folder holds after a run: no lock or new file is left.
    std::vector<std::string> EtcFiles() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(Path("etc\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (found.cFileName[0] != '.') {
                    names.push_back(found.cFileName);
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string passwd_;
};
