#include "http/UpdateFile.h"

#include "base/AsciiText.h"

namespace {

// Only the printable bytes 33 to 127 survive, so CR LF line ends and trailing blanks vanish.
std::string Clean(std::string_view text) {
    std::string cleaned;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 33 && byte <= 127) cleaned += c;
    }
    return cleaned;
}

}  // namespace

UpdateFileVerdict ReadUpdateFile(std::string_view body, std::int32_t major, std::int32_t minor) {
    UpdateFileVerdict verdict;
    const std::size_t firstEnd = body.find('\n');
    if (firstEnd == std::string_view::npos) return verdict;
    const std::string version = Clean(body.substr(0, firstEnd));
    const std::size_t dot = version.find('.');
    if (dot == std::string::npos) return verdict;
    const std::int32_t remoteMajor = LeadingDigitsValue(std::string_view(version).substr(0, dot));
    const std::int32_t remoteMinor = LeadingDigitsValue(std::string_view(version).substr(dot + 1));
    if (remoteMajor < major || (remoteMajor == major && remoteMinor <= minor)) {
        verdict.kind = UpdateFileVerdict::NoUpdate;
        return verdict;
    }
    const std::size_t secondEnd = body.find('\n', firstEnd + 1);
    if (secondEnd == std::string_view::npos) return verdict;
    verdict.kind = UpdateFileVerdict::NewVersion;
    verdict.version = version;
    verdict.location = Clean(body.substr(secondEnd + 1));
    return verdict;
}
