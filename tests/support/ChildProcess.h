#pragma once

#include <chrono>
#include <functional>
#include <string>

// Exit code of a child that could not get a private mount namespace (not root, or a sandbox
// that forbids it); the test skips then.
constexpr int kNoMountNamespace = 77;

// Runs body in a forked child and returns its exit code. -1 when the child died of a signal or
// did not end within the time-out (it is killed then), so a body that blocks fails the test
// instead of hanging it.
int RunInChild(const std::function<int()>& body, std::chrono::milliseconds timeout);

// The same in a private mount namespace, so what the body mounts is seen by nobody else and
// goes away with the child. Returns kNoMountNamespace when no such namespace can be made.
int RunWithPrivateMounts(const std::function<int()>& body, std::chrono::milliseconds timeout);

// Inside RunWithPrivateMounts: a tmpfs of the given size (such as "64k") on folder, and
// switching that tmpfs between read-only and writable. False when the mount call failed.
bool MountTmpfs(const std::string& folder, const std::string& size);
bool RemountReadOnly(const std::string& folder, bool readOnly);
