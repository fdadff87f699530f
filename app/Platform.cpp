#include "Platform.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace orvalen {

std::string GetAppDataFolder() {
    namespace fs = std::filesystem;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".local" / "share";
    }
    const fs::path folder = base / "orvalen";
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(base, ec);
        ::mkdir(folder.c_str(), 0700);
    }
    std::string out = folder.string();
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

std::string MoveFileAside(const std::string& file, const std::string& suffix) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    namespace fs = std::filesystem;
    std::string target = file + suffix + stamp;
    std::error_code ec;
    for (int n = 2; fs::exists(target, ec) && n < 1000; ++n)
        target = file + suffix + stamp + "-" + std::to_string(n);
    fs::rename(file, target, ec);
    return ec ? std::string() : target;
}

void RemoveStaleFiles(const std::string& folder, const std::string& prefix) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && e.is_regular_file(ec))
            fs::remove(e.path(), ec);
    }
}

}  // namespace orvalen
