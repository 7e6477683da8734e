#include "tests/support/ChildProcess.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

int RunInChild(const std::function<int()>& body, std::chrono::milliseconds timeout) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        int code = 1;
        try {
            code = body();
        } catch (...) {
            code = 2;
        }
        // No atexit handlers: the child must not run the test framework's or the parent's
        // clean-up.
        _exit(code);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) break;
        if (ended < 0 || std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunWithPrivateMounts(const std::function<int()>& body, std::chrono::milliseconds timeout) {
    return RunInChild(
        [&body] {
            if (unshare(CLONE_NEWNS) != 0) return kNoMountNamespace;
            // Without this, mounts would still propagate back to the parent's namespace.
            if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                return kNoMountNamespace;
            }
            return body();
        },
        timeout);
}

bool MountTmpfs(const std::string& folder, const std::string& size) {
    const std::string options = "size=" + size;
    return mount("none", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

bool RemountReadOnly(const std::string& folder, bool readOnly) {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    return mount("none", folder.c_str(), "tmpfs", flags, nullptr) == 0;
}
