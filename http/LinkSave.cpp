#include "http/LinkSave.h"

std::string LinkExtension(std::string_view link) {
    // The scheme is matched with its case here, unlike a download's address.
    if (link.starts_with("http://")) {
        link.remove_prefix(7);
    } else if (link.starts_with("https://")) {
        link.remove_prefix(8);
    }
    const std::size_t slash = link.rfind('/');
    if (slash == std::string_view::npos) return {};
    const std::size_t dot = link.find('.', slash);
    if (dot == std::string_view::npos) return {};
    return std::string(link.substr(dot));
}

std::int64_t DownloadPercent(std::uint64_t received, std::int32_t contentLength) {
    const auto lengthKb = static_cast<std::int64_t>(contentLength / 1024);
    // Under one KiB the KB figures are 0; the bytes themselves give the share then.
    if (lengthKb == 0) return static_cast<std::int64_t>(received * 100 / contentLength);
    const auto receivedKb = static_cast<std::int64_t>(static_cast<std::uint32_t>(received / 1024));
    return receivedKb * 100 / lengthKb;
}

std::string DownloadProgressLine(const DownloadRequest& request) {
    if (!request.headersDone) return "+ " + request.url + ": Connecting...\r\n";
    const std::uint64_t received = request.received;
    const std::int32_t contentLength = request.contentLength;
    const std::string receivedKb =
        std::to_string(static_cast<std::uint32_t>(received / 1024)) + "KB (";
    const std::string rate = std::to_string(request.rate / 1024) + "KB/s\r\n";
    // A negative length is no length.
    const std::string share = contentLength > 0
                                  ? std::to_string(DownloadPercent(received, contentLength)) + "%"
                                  : std::string("Unknown size");
    return "+ " + request.url + ": " + receivedKb + share + ") at " + rate;
}
