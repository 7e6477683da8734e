#include "tests/support/SpawnedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

extern char** environ;

SpawnedProcess::~SpawnedProcess() { Stop(); }

bool SpawnedProcess::Start(const std::vector<std::string>& arguments, const std::string& logFile,
                           const std::string& workingDir) {
    if (m_pid > 0 || arguments.empty()) return false;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const std::string output = logFile.empty() ? "/dev/null" : logFile;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    bool prepared = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                                     O_WRONLY | O_CREAT | O_TRUNC, 0600) == 0 &&
                    posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0 &&
                    (workingDir.empty() ||
                     posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str()) == 0);
    pid_t pid = -1;
    if (prepared && posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    m_pid = pid;
    return m_pid > 0;
}

bool SpawnedProcess::IsRunning() {
    if (m_pid <= 0) return false;
    int status = 0;
    const pid_t ended = waitpid(m_pid, &status, WNOHANG);
    if (ended == 0) return true;
    m_pid = -1;
    return false;
}

void SpawnedProcess::Stop(std::chrono::milliseconds timeout) {
    if (!IsRunning()) return;
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (IsRunning()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool SpawnedProcess::RunToEnd(const std::vector<std::string>& arguments,
                              const std::string& logFile) {
    SpawnedProcess process;
    if (!process.Start(arguments, logFile)) return false;
    for (int i = 0; i < 3000 && process.IsRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !process.IsRunning();
}

std::string SpawnedProcess::FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return access(name.c_str(), X_OK) == 0 ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    // Daemons live in the sbin folders, which a user's PATH may lack.
    std::string folders = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            const std::string candidate = folder + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return {};
}
