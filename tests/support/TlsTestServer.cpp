#include "tests/support/TlsTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TlsTestServer::TlsTestServer(const std::vector<std::string>& mode, const std::string& workingDir,
                             const std::string& altNames) {
    m_openssl = SpawnedProcess::FindProgram("openssl");
    if (m_openssl.empty() || !MakeCertificates(altNames)) return;
    {
        LoopbackListener probe;  // a free port; s_server takes it once the probe is gone
        m_port = probe.port;
    }
    const std::string log = m_dir.File("server.log");
    std::vector<std::string> arguments = {m_openssl, "s_server",
                                          "-accept", "127.0.0.1:" + std::to_string(m_port),
                                          "-cert",   m_dir.File("server.pem"),
                                          "-key",    m_dir.File("server.key")};
    arguments.insert(arguments.end(), mode.begin(), mode.end());
    m_server.Start(arguments, log, workingDir);
    for (int i = 0; i < 1000 && m_server.IsRunning(); ++i) {
        if (TempDir::Read(log).find("ACCEPT") != std::string::npos) {
            m_ready = true;
            return;
        }
        std::this_thread::sleep_for(5ms);
    }
}

TlsTestServer::~TlsTestServer() { m_server.Stop(); }

bool TlsTestServer::RunOpenssl(std::vector<std::string> arguments, const std::string& log) {
    arguments.insert(arguments.begin(), m_openssl);
    return SpawnedProcess::RunToEnd(arguments, log);
}

bool TlsTestServer::MakeCertificates(const std::string& altNames) {
    const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt",
                                         "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> ca = {"req",   "-x509",       "-days",   "2",
                                   "-subj", "/CN=Test CA", "-keyout", m_dir.File("ca.key"),
                                   "-out",  CaFile()};
    ca.insert(ca.end(), ec.begin(), ec.end());
    std::vector<std::string> request = {"req",
                                        "-subj",
                                        "/CN=localhost",
                                        "-keyout",
                                        m_dir.File("server.key"),
                                        "-out",
                                        m_dir.File("server.csr")};
    request.insert(request.end(), ec.begin(), ec.end());
    TempDir::Write(m_dir.File("ext.cnf"), "subjectAltName=" + altNames + "\n");
    const std::vector<std::string> sign = {"x509",
                                           "-req",
                                           "-days",
                                           "2",
                                           "-in",
                                           m_dir.File("server.csr"),
                                           "-CA",
                                           CaFile(),
                                           "-CAkey",
                                           m_dir.File("ca.key"),
                                           "-CAcreateserial",
                                           "-extfile",
                                           m_dir.File("ext.cnf"),
                                           "-out",
                                           m_dir.File("server.pem")};
    return RunOpenssl(ca) && RunOpenssl(request) && RunOpenssl(sign) &&
           RunOpenssl(
               {"x509", "-noout", "-fingerprint", "-sha256", "-in", m_dir.File("server.pem")},
               m_dir.File("fingerprint.txt"));
}

std::string TlsTestServer::Fingerprint() const {
    const std::string text = TempDir::Read(m_dir.File("fingerprint.txt"));
    const std::size_t at = text.find('=');
    if (at == std::string::npos) return {};
    return text.substr(at + 1, text.find_first_of("\r\n", at) - at - 1);
}
