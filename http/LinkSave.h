#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/DownloadRequest.h"

// The extension a saved link's file gets: from the last "/" after a leading "http://" or
// "https://", the text from the first "." on (".exe", ".tar.gz"); empty without a slash or a
// dot after it.
std::string LinkExtension(std::string_view link);

// One line of /downloads for a request: connecting, or received KB, percentage (or unknown
// size) and rate.
std::string DownloadProgressLine(const DownloadRequest& request);

// The percentage of contentLength that received is; contentLength must be positive.
std::int64_t DownloadPercent(std::uint64_t received, std::int32_t contentLength);
