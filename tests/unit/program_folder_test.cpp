// Which folder the program keeps its files in when none is named.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "storage/program_folder.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;

struct Environment {
    explicit Environment(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v, had_ = true;
    }
    ~Environment() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }
    void set(const char* value) { ::setenv(name_, value, 1); }
    void unset() { ::unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(ProgramFolder, AWritableProgramFolderIsItsOwnElseTheUsersDataFolder) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    Environment xdg("XDG_DATA_HOME");
    Environment home("HOME");
    xdg.set("/srv/data");
    EXPECT_EQ(defaultProgramFolder(folder.path()), folder.path());
    // A folder the program may not write to (here one that is not there at all; as root every
    // existing folder is writable) sends it to the user's data folder.
    EXPECT_EQ(defaultProgramFolder(folder.path() / "usr" / "bin"), fs::path("/srv/data/rx47-monitor"));

    // Without XDG_DATA_HOME, or with a relative one (which does not count), it lies under the home.
    home.set("/home/someone");
    xdg.unset();
    EXPECT_EQ(userDataFolder(), fs::path("/home/someone/.local/share/rx47-monitor"));
    xdg.set("relative/data");
    EXPECT_EQ(userDataFolder(), fs::path("/home/someone/.local/share/rx47-monitor"));
}

}  // namespace
}  // namespace rx47
