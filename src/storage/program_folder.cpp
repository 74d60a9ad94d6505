#include "storage/program_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace rx47 {

namespace fs = std::filesystem;

namespace {

fs::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

}  // namespace

fs::path userDataFolder() {
    // The base directory specification: a relative XDG_DATA_HOME is invalid and ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const fs::path base = xdg && *xdg && fs::path(xdg).is_absolute() ? fs::path(xdg) : homeFolder() / ".local" / "share";
    return base / kUserDataFolderName;
}

fs::path defaultProgramFolder(const fs::path& executableFolder) {
    if (::access(executableFolder.c_str(), W_OK | X_OK) == 0) return executableFolder;
    return userDataFolder();
}

}  // namespace rx47
