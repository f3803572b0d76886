// The display mode guardian.
//
// The parent keeps one end of a socket pair; the guardian blocks reading the
// other. A byte means "stand down"; end of file means the parent is gone,
// however it went, and the guardian restores the mode. The socket is
// close-on-exec, so programs the saver starts never keep the guardian waiting.
#include "platform/sdl/mode_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace os::sdl {
namespace {

pid_t g_guard = -1;
int g_link = -1;

[[noreturn]] void GuardianMain(int link, const std::function<void()>& restore)
{
    // Signals aimed at the saver's process group (a terminal's Ctrl+C, the
    // session's hang-up) must not end the guardian before the saver itself.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Only the link is kept: copies of the saver's descriptors (its X
    // connection, its lock file) must not outlive it here.
    if (link > 3)
        close_range(3, static_cast<unsigned>(link) - 1, 0);
    close_range(static_cast<unsigned>(link) + 1, ~0u, 0);
    char byte = 0;
    ssize_t n = 0;
    do {
        n = read(link, &byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1)
        restore();
    _exit(0);
}

} // namespace

bool StartModeGuard(const std::function<void()>& restore)
{
    if (g_guard > 0)
        return true;
    int link[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, link) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        close(link[0]);
        GuardianMain(link[1], restore);
    }
    close(link[1]);
    if (pid < 0) {
        close(link[0]);
        return false;
    }
    g_guard = pid;
    g_link = link[0];
    return true;
}

void StopModeGuard()
{
    if (g_guard <= 0)
        return;
    // MSG_NOSIGNAL: a guardian that is already gone must not take the saver
    // down with SIGPIPE.
    send(g_link, "q", 1, MSG_NOSIGNAL);
    close(g_link);
    while (waitpid(g_guard, nullptr, 0) < 0 && errno == EINTR) {
    }
    g_guard = -1;
    g_link = -1;
}

} // namespace os::sdl
