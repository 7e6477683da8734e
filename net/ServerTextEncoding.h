#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How the server's text is written. Native: bytes 0x80-0xFF are the client's own format codes.
// Utf8 and Latin1: those bytes are text, shown through Unicode escapes.
enum class ServerEncoding : std::uint8_t { Native, Utf8, Latin1 };

// "native", "utf-8" or "latin-1" (also "utf8", "latin1", "iso-8859-1"), in any case.
bool ParseServerEncoding(std::string_view text, ServerEncoding& encoding);
// The setting's own word for the encoding: "native", "utf-8" or "latin-1".
const char* ServerEncodingName(ServerEncoding encoding);

// Appends the Unicode escape of one UTF-16 code unit (0x1A, lower-case hex digits, 0x1A).
void AppendUnicodeEscape(std::string& out, std::uint32_t codeUnit);
// Appends one code point as escapes: a surrogate pair beyond U+FFFF.
void AppendCodePointEscapes(std::string& out, std::uint32_t codePoint);

// Text of the client (bytes as Latin-1, other characters as Unicode escapes) in the server's
// encoding. Native leaves it as it is; Latin1 writes escapes above 0xFF as "?".
std::string EncodeForServer(std::string_view text, ServerEncoding encoding);
// Whether EncodeForServer would give the text back unchanged.
bool EncodesUnchanged(std::string_view text, ServerEncoding encoding);
