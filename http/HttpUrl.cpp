#include "http/HttpUrl.h"

#include "base/AsciiText.h"

namespace {

bool DropScheme(std::string_view& url, std::string_view scheme) {
    if (url.size() < scheme.size() || LowerAsciiCopy(url.substr(0, scheme.size())) != scheme)
        return false;
    url.remove_prefix(scheme.size());
    return true;
}

}  // namespace

HttpTarget SplitUrl(std::string_view url) {
    HttpTarget target;
    if (!DropScheme(url, "http://") && DropScheme(url, "https://")) {
        target.tls = true;
        target.port = 443;
    }
    std::string_view hostPart = url;
    if (const std::size_t slash = url.find('/'); slash != std::string_view::npos) {
        hostPart = url.substr(0, slash);
        target.path = std::string(url.substr(slash));
    }
    if (const std::size_t colon = hostPart.find(':'); colon != std::string_view::npos) {
        long long port = 0;
        if (ReadStreamNumber(hostPart.substr(colon + 1), 0, 65535, port))
            target.port = static_cast<std::uint16_t>(port);
        hostPart = hostPart.substr(0, colon);
    }
    target.host = std::string(hostPart);
    return target;
}

std::string BuildGetRequest(const HttpTarget& target) {
    return "GET " + target.path + " HTTP/1.1\r\nHost: " + target.host +
           "\r\nUser-Agent: OstrakClientv2 HTTP GET\r\nConnection: Close\r\n\r\n";
}
