// Lock files.
#include "platform/sdl/lock_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace os {
namespace {

void Say(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
}

// True when the opened folder `fd` belongs to us and only we may write to it.
bool PrivateFolder(int fd, const std::string& path, std::string* why)
{
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        Say(why, path + ": not a folder");
        return false;
    }
    if (st.st_uid != geteuid()) {
        Say(why, path + ": owned by another user");
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        Say(why, path + ": others may write to it");
        return false;
    }
    return true;
}

bool UsableFolder(const std::string& path, std::string* why)
{
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        Say(why, path + ": " + std::strerror(errno));
        return false;
    }
    const bool ok = PrivateFolder(fd, path, why);
    close(fd);
    return ok;
}

} // namespace

std::string LockFolder(std::string* why)
{
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/' && UsableFolder(run, why))
        return run;
    std::string cache;
    if (const char* c = std::getenv("XDG_CACHE_HOME"); c && *c == '/')
        cache = c;
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        cache = std::string(home) + "/.cache";
    else {
        Say(why, "neither XDG_RUNTIME_DIR nor HOME names a usable folder");
        return {};
    }
    // The cache folder itself may be shared with other programs' settings;
    // ours inside it is created private and checked to be so.
    mkdir(cache.c_str(), 0700);
    const std::string own = cache + "/vantor";
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
        Say(why, own + ": " + std::strerror(errno));
        return {};
    }
    return UsableFolder(own, why) ? own : std::string();
}

int OpenLockFile(const std::string& folder, std::string_view name, std::string* why)
{
    const std::string path = folder + "/" + std::string(name) + ".lock";
    // O_NOFOLLOW: a link planted at the name would make us create or lock
    // a file of the planter's choosing. O_NONBLOCK: a FIFO planted there
    // would otherwise block the open for good.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        Say(why, path + ": " + std::strerror(errno));
        return -1;
    }
    struct stat st{};
    const char* problem = nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        problem = "not a regular file";
    else if (st.st_uid != geteuid())
        problem = "owned by another user";
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        problem = "others may write to it";
    else if (st.st_nlink != 1)
        problem = "has other names";
    if (problem) {
        close(fd);
        Say(why, path + ": " + problem);
        return -1;
    }
    return fd;
}

} // namespace os
