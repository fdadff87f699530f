#include "Platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "sqlmem/cp1251.h"

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

std::string MessageText1251(const std::string& utf8) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::string part;
        if (sqlmem::cp1251::fromUtf8(utf8.substr(pos), part)) return out + part;
        out += part;
        // What converted is valid UTF-8, so its length in UTF-8 is what it took.
        pos += sqlmem::cp1251::toUtf8(part).size();
        out += '?';
        ++pos;
        while (pos < utf8.size() && (static_cast<unsigned char>(utf8[pos]) & 0xC0) == 0x80)
            ++pos;
    }
    return out;
}

namespace {

std::string message(const char* utf8Text, const std::string& file, int err) {
    std::string text;
    sqlmem::cp1251::fromUtf8(utf8Text, text);
    text += " \"" + MessageText1251(file) + "\"";
    if (err != 0) text += ": " + MessageText1251(std::strerror(err));
    return text;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& file, std::size_t maxSize) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw std::runtime_error(message("Не удалось прочитать файл", file, errno));
    }
    // A file known to be too large is refused before it is read through.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uintmax_t>(info.st_size) > maxSize) {
        ::close(fd);
        throw std::runtime_error(message("Слишком большой файл", file, 0));
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            throw std::runtime_error(message("Не удалось прочитать файл", file, err));
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxSize) {
            ::close(fd);
            throw std::runtime_error(message("Слишком большой файл", file, 0));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

void CheckReplaceable(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    // The mode is looked at too: access() lets a superuser write anything.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(file.c_str(), W_OK) != 0)
        throw std::runtime_error(message("Не удалось записать файл", file, EACCES));
}

void WriteFileAtomically(const std::string& given, const std::string& bytes) {
    // A link the operator made (the file kept elsewhere) stays a link: the
    // file it leads to is the one replaced.
    std::error_code linkError;
    std::string file = given;
    if (std::filesystem::is_symlink(given, linkError)) {
        const std::filesystem::path target = std::filesystem::canonical(given, linkError);
        if (!linkError) file = target.string();
    }
    std::string temp = file + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw std::runtime_error(message("Не удалось записать файл", file, errno));
    int err = 0;
    // mkstemp makes the file readable by the owner alone; keep it so, as the
    // folder it lives in.
    for (std::size_t done = 0; done < bytes.size() && err == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            err = errno;
        else
            done += static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), file.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        throw std::runtime_error(message("Не удалось записать файл", file, err));
    }
    // The rename itself survives a crash only once the folder is on the disk.
    const std::string folder = std::filesystem::path(file).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string ExecutableFileName() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("orvalen") : self.filename().string();
}

}  // namespace orvalen
