#pragma once

#include <string>

// "WinSock Error Code <code>: <sentence>", the form in which every socket failure is shown to the
// player; codes without a sentence read "Unknown error.".
std::string GetWinSockErrorText(int code);

// The WinSock code that stands for a POSIX errno value, so the player reads the same sentences
// on every platform. Values without a counterpart map to 10107 ("System call failure.").
int WinSockCodeFromErrno(int errnoValue);

// GetWinSockErrorText of the code that stands for errnoValue.
std::string GetErrnoSocketText(int errnoValue);
