// The client against a standard telnet daemon (inetutils telnetd on 127.0.0.1, with /bin/cat in
// place of a login). telnetd asks about a dozen options and starts the program only once its
// questions are answered, so a client that leaves one unanswered sees nothing at all.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/TelnetCodes.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TcpRelay.h"
#include "tests/support/TelnetDaemon.h"

namespace {

// Which side of an option a verb is about: WILL/WONT speak of the sender's side, DO/DONT of
// the receiver's.
enum class Side { Server, Client };

struct Negotiation {
    Side side;
    std::uint8_t option;
    bool positive;  // WILL or DO
};

// The option commands in one direction of a telnet stream; subnegotiations and escaped 255
// data bytes are skipped.
std::vector<Negotiation> NegotiationsIn(const std::string& stream, bool fromServer) {
    std::vector<Negotiation> found;
    auto at = [&](std::size_t index) { return static_cast<std::uint8_t>(stream[index]); };
    std::size_t i = 0;
    while (i + 1 < stream.size()) {
        if (at(i) != Telnet::kIac) {
            ++i;
            continue;
        }
        const std::uint8_t command = at(i + 1);
        if (command == Telnet::kSb) {
            i += 2;
            while (i + 1 < stream.size() && !(at(i) == Telnet::kIac && at(i + 1) == Telnet::kSe)) {
                i += at(i) == Telnet::kIac ? 2 : 1;
            }
            i += 2;
            continue;
        }
        const bool aboutSender = command == Telnet::kWill || command == Telnet::kWont;
        const bool aboutReceiver = command == Telnet::kDo || command == Telnet::kDont;
        if ((aboutSender || aboutReceiver) && i + 2 < stream.size()) {
            const bool serverSide = aboutSender == fromServer;
            found.push_back({serverSide ? Side::Server : Side::Client, at(i + 2),
                             command == Telnet::kWill || command == Telnet::kDo});
            i += 3;
            continue;
        }
        i += 2;
    }
    return found;
}

using OptionKey = std::pair<Side, std::uint8_t>;

std::string Describe(const OptionKey& key) {
    return std::string(key.first == Side::Server ? "WILL " : "DO ") + std::to_string(key.second);
}

class TelnetDaemonSession : public AppFixture {
  protected:
    void SetUp() override {
        AppFixture::SetUp();
        const std::string missing = TelnetDaemon::MissingReason();
        if (!missing.empty()) GTEST_SKIP() << "No telnet daemon to test against: " << missing;
        ASSERT_TRUE(m_daemon.Start("/bin/cat")) << m_daemon.Error();
        m_relay = std::make_unique<TcpRelay>(m_daemon.Port());
        ASSERT_TRUE(m_relay->IsListening());
        ASSERT_TRUE(Start());
    }

    // Questions of the daemon about an option on which the client has said nothing.
    std::vector<std::string> Unanswered() const {
        std::map<OptionKey, int> answers;
        for (const Negotiation& sent : NegotiationsIn(m_relay->FromClient(), false)) {
            ++answers[{sent.side, sent.option}];
        }
        std::vector<std::string> open;
        for (const Negotiation& asked : NegotiationsIn(m_relay->FromServer(), true)) {
            const OptionKey key{asked.side, asked.option};
            if (asked.positive && answers[key] == 0) open.push_back(Describe(key));
        }
        return open;
    }

    // Connects through the relay and ticks until the daemon has had its answers and then been
    // quiet for a while (its questions come in rounds, each after the answers to the last).
    void ConnectAndNegotiate() {
        App().SubmitText("/connect 127.0.0.1 " + std::to_string(m_relay->Port()) + "\r\n");
        ASSERT_TRUE(TickUntil([&] { return App().IsConnected(); }, std::chrono::seconds(3)))
            << Output();
        const auto quiet = std::chrono::milliseconds(500);
        TickUntil(
            [&] {
                return !m_relay->FromServer().empty() && Unanswered().empty() &&
                       std::chrono::steady_clock::now() - m_relay->LastFromServer() > quiet;
            },
            std::chrono::seconds(5));
    }

    TelnetDaemon m_daemon;
    std::unique_ptr<TcpRelay> m_relay;
};

TEST_F(TelnetDaemonSession, AnswersEveryOptionTheDaemonAsksAboutWithoutLooping) {
    ASSERT_NO_FATAL_FAILURE(ConnectAndNegotiate());
    const std::vector<Negotiation> asked = NegotiationsIn(m_relay->FromServer(), true);
    // The daemon's first round alone asks about seven options.
    ASSERT_GE(asked.size(), 7u) << "the daemon asked nothing: " << Output();

    std::ostringstream open;
    for (const std::string& option : Unanswered()) open << option << ' ';
    EXPECT_EQ(open.str(), "") << "the client left these questions of the daemon unanswered";

    // Never more answers about an option than the daemon said about it, plus the client's own
    // offer: an answer to an answer would make both sides talk on for ever.
    std::map<OptionKey, int> fromDaemon;
    std::map<OptionKey, int> fromClient;
    for (const Negotiation& said : asked) ++fromDaemon[{said.side, said.option}];
    for (const Negotiation& said : NegotiationsIn(m_relay->FromClient(), false)) {
        ++fromClient[{said.side, said.option}];
    }
    for (const auto& [key, count] : fromClient) {
        EXPECT_LE(count, fromDaemon[key] + 1) << Describe(key);
    }
    EXPECT_TRUE(App().IsConnected());
}

TEST_F(TelnetDaemonSession, TypedLineComesBackFromTheDaemonIntoThePane) {
    ASSERT_NO_FATAL_FAILURE(ConnectAndNegotiate());
    // Online, a typed line goes to the server only: what shows is what the daemon sent back.
    ASSERT_EQ(Output().find("hello"), std::string::npos);
    App().SubmitText("hello\r\n");
    EXPECT_TRUE(TickUntil([&] { return Output().find("\nhello\n") != std::string::npos; },
                          std::chrono::seconds(5)))
        << "pane:\n"
        << Output();
    EXPECT_NE(m_relay->FromClient().find("hello\r\n"), std::string::npos);
    // No telnet command leaked into the pane as format codes.
    if (Output().find("hello") != std::string::npos) {
        EXPECT_EQ(FormatOf("hello").effects, 0u);
    }
}

}  // namespace
