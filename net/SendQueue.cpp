#include "net/SendQueue.h"

#include "net/WinSockErrors.h"

std::string CSendQueue::OverflowText() {
    return "send() Failed! More than " + std::to_string(kMaxUnsent) +
           " bytes wait for the server to take them. " + GetWinSockErrorText(10055);
}
