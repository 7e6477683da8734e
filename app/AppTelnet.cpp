// The game connection, as the application drives it.
#include "app/App.h"

void CApp::CmdConnect(const std::string&) { PrintError("Failed to connect to server. "); }

void CApp::CmdDisconnect(const std::string&) {
    if (!m_connected) {
        PrintError("Not connected");
        return;
    }
}

void CApp::ShowTelnetReport(const std::string&) {
    if (!m_connected) PrintColour(0xff0000, "Not connected.\r\n");
}

void CApp::PollConnection() {}
void CApp::ProcessIncoming() {}
void CApp::SendWindowSize(bool) {}
void CApp::SendToServer(const char*, std::size_t) {}
void CApp::CloseConnection() {}
