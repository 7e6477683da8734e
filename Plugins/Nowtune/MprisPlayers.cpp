// The desktop's players publish their state through the MPRIS interface on the session bus.
// The bus is reached with sd-bus (libsystemd): a small C library with a time-out on every
// call and no main loop of its own. GDBus would bring in GLib's object system, the reference
// libdbus asks applications not to use it directly, and QtDBus would put Qt into a library
// that must not depend on the front end.
#include "MprisPlayers.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "MprisSong.h"
#include "SessionBus.h"

namespace {

constexpr const char* kNamePrefix = "org.mpris.MediaPlayer2.";
constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// No single call may take the whole budget: a player that hangs leaves time for the rest.
constexpr std::chrono::milliseconds kCallLimit{100};

std::vector<std::string> ListPlayers(CSessionBus& bus) {
    std::vector<std::string> players;
    BusReply reply = bus.Call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "ListNames");
    if (!reply || sd_bus_message_enter_container(reply.get(), 'a', "s") < 0) return players;
    const char* name = nullptr;
    while (sd_bus_message_read_basic(reply.get(), 's', &name) > 0) {
        if (std::string_view(name).starts_with(kNamePrefix)) players.emplace_back(name);
    }
    // The daemon lists names in no particular order; sorted, "first" means the same each time.
    std::sort(players.begin(), players.end());
    return players;
}

BusReply GetProperty(CSessionBus& bus, const std::string& player, const char* interface,
                     const char* property) {
    return bus.Call(player.c_str(), kObjectPath, kProperties, "Get", {interface, property});
}

// The variant at the message's position, when it holds one string (or several, for a list).
bool ReadTexts(sd_bus_message* message, std::vector<std::string>& texts) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(message, &type, &contents) <= 0 || type != 'v') return false;
    const std::string_view signature(contents);
    if (signature != "s" && signature != "as") return sd_bus_message_skip(message, "v") >= 0;
    if (sd_bus_message_enter_container(message, 'v', contents) < 0) return false;
    if (signature == "as" && sd_bus_message_enter_container(message, 'a', "s") < 0) return false;
    const char* text = nullptr;
    while (sd_bus_message_read_basic(message, 's', &text) > 0) {
        texts.emplace_back(text);
        if (signature == "s") break;
    }
    if (signature == "as" && sd_bus_message_exit_container(message) < 0) return false;
    return sd_bus_message_exit_container(message) >= 0;
}

bool ReadText(sd_bus_message* message, std::string& text) {
    std::vector<std::string> texts;
    if (!ReadTexts(message, texts)) return false;
    if (!texts.empty()) text = texts.front();
    return true;
}

// The variant at the message's position as a whole number; players differ in the integer
// type they use for times and track numbers, and a few send a floating-point number.
bool ReadNumber(sd_bus_message* message, std::int64_t& number) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(message, &type, &contents) <= 0 || type != 'v') return false;
    const char kind = std::string_view(contents).size() == 1 ? contents[0] : '\0';
    if (std::string_view("xtiunqyd").find(kind) == std::string_view::npos) {
        return sd_bus_message_skip(message, "v") >= 0;
    }
    if (sd_bus_message_enter_container(message, 'v', contents) < 0) return false;
    union {
        std::int64_t x;
        std::uint64_t t;
        std::int32_t i;
        std::uint32_t u;
        std::int16_t n;
        std::uint16_t q;
        std::uint8_t y;
        double d;
    } value{};
    if (sd_bus_message_read_basic(message, kind, &value) <= 0) return false;
    switch (kind) {
        case 'x':
            number = value.x;
            break;
        case 't':
            number = static_cast<std::int64_t>(std::min<std::uint64_t>(value.t, INT64_MAX));
            break;
        case 'i':
            number = value.i;
            break;
        case 'u':
            number = value.u;
            break;
        case 'n':
            number = value.n;
            break;
        case 'q':
            number = value.q;
            break;
        case 'y':
            number = value.y;
            break;
        default:
            // Out-of-range or not-a-number doubles would be undefined to convert.
            number = value.d > -9.2e18 && value.d < 9.2e18 ? static_cast<std::int64_t>(value.d) : 0;
            break;
    }
    return sd_bus_message_exit_container(message) >= 0;
}

void ReadMetadata(CSessionBus& bus, const std::string& player, MprisPlayerState& state) {
    BusReply reply = GetProperty(bus, player, kPlayerInterface, "Metadata");
    sd_bus_message* message = reply.get();
    if (!message || sd_bus_message_enter_container(message, 'v', "a{sv}") < 0 ||
        sd_bus_message_enter_container(message, 'a', "{sv}") < 0) {
        return;
    }
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read_basic(message, 's', &key) <= 0) return;
        const std::string_view name(key);
        bool read = false;
        if (name == "xesam:artist") {
            read = ReadTexts(message, state.artists);
        } else if (name == "xesam:title") {
            read = ReadText(message, state.title);
        } else if (name == "xesam:trackNumber") {
            read = ReadNumber(message, state.trackNumber);
        } else if (name == "mpris:length") {
            read = ReadNumber(message, state.lengthMicroseconds);
        } else {
            read = sd_bus_message_skip(message, "v") >= 0;
        }
        if (!read || sd_bus_message_exit_container(message) < 0) return;
    }
}

bool ReadStatus(CSessionBus& bus, const std::string& player, std::string& status) {
    BusReply reply = GetProperty(bus, player, kPlayerInterface, "PlaybackStatus");
    return reply && ReadText(reply.get(), status);
}

}  // namespace

SongInfo TakeMprisSnapshot(std::chrono::milliseconds budget) {
    CSessionBus bus(budget, kCallLimit);
    if (!bus.Open()) return {};

    std::string chosen;
    MprisPlayerState state;
    for (const std::string& player : ListPlayers(bus)) {
        std::string status;
        if (!ReadStatus(bus, player, status)) continue;  // gone, or not answering
        if (chosen.empty() || status == "Playing") {
            chosen = player;
            state.playbackStatus = status;
        }
        if (status == "Playing") break;
    }
    if (chosen.empty()) return {};

    if (BusReply reply = GetProperty(bus, chosen, kRootInterface, "Identity")) {
        ReadText(reply.get(), state.identity);
    }
    // A player that does not name itself is still a player.
    if (state.identity.empty())
        state.identity = chosen.substr(std::string_view(kNamePrefix).size());
    ReadMetadata(bus, chosen, state);
    if (BusReply reply = GetProperty(bus, chosen, kPlayerInterface, "Position")) {
        ReadNumber(reply.get(), state.positionMicroseconds);
    }
    return SongFromMpris(state);
}
