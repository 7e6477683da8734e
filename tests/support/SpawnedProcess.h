#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program a test starts and ends by its process id, always: the destructor ends it if the
// test did not. It is never started through a shell.
class SpawnedProcess {
  public:
    SpawnedProcess() = default;
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    // Starts arguments[0] (a path) with its standard input from /dev/null and its output and
    // errors into logFile (/dev/null when empty), in workingDir when one is given. False when it
    // could not be started.
    bool Start(const std::vector<std::string>& arguments, const std::string& logFile = {},
               const std::string& workingDir = {});
    // False once it has ended; an ended process is reaped here.
    bool IsRunning();
    // Asks it to end (SIGTERM), kills it (SIGKILL) when it has not ended within the time-out,
    // and reaps it. Nothing happens when it is not running.
    void Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    pid_t Pid() const { return m_pid; }

    // Runs arguments to their end, output into logFile; true when it ended within about 15 s
    // (it is stopped otherwise).
    static bool RunToEnd(const std::vector<std::string>& arguments,
                         const std::string& logFile = {});

    // The full path of an executable program named name in the directories of PATH (or name
    // itself when it holds a slash and is executable); empty when there is none.
    static std::string FindProgram(const std::string& name);

  private:
    pid_t m_pid = -1;
};
