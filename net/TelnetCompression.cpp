// The compressed streams (MCCP) of CTelnetEngine, in both directions.
#include <climits>
#include <cstdio>

#include "net/TelnetEngine.h"

bool CTelnetEngine::SetCompressIn(bool on, std::size_t plainLength) {
    if (on == m_compressIn) return true;
    m_compressIn = on;
    if (!on) {
        inflateEnd(&m_inflateStream);
        m_inflateStream = z_stream{};
        return true;
    }
    m_inflateStream = z_stream{};
    if (inflateInit(&m_inflateStream) != Z_OK) {
        m_compressIn = false;
        m_inflateStream = z_stream{};
        ReportError("inflateInit() failed!");
        DropConnection(false);
        return false;
    }
    // The text buffer is empty while the stream is off; the plain bytes that came before the
    // start sequence go first, and the raw input keeps only compressed bytes.
    if (plainLength > m_rawInput.Size()) plainLength = m_rawInput.Size();
    m_textInput.Append(m_rawInput.Data(), plainLength);
    m_rawInput.Consume(plainLength);
    return true;
}

bool CTelnetEngine::SetCompressOut(bool on) {
    if (on == m_compressOut) return true;
    m_compressOut = on;
    if (!on) {
        deflateEnd(&m_deflateStream);
        m_deflateStream = z_stream{};
        return true;
    }
    m_deflateStream = z_stream{};
    if (deflateInit(&m_deflateStream, 9) != Z_OK) {
        m_compressOut = false;
        m_deflateStream = z_stream{};
        ReportError("deflateInit() failed!");
        DropConnection(false);
        return false;
    }
    return true;
}

void CTelnetEngine::EndStreams() {
    if (m_compressIn) SetCompressIn(false, 0);
    if (m_compressOut) SetCompressOut(false);
}

CTelnetEngine::InflateResult CTelnetEngine::InflateInput(std::size_t& budget) {
    std::size_t consumed = 0;
    for (;;) {
        if (budget == 0) {
            m_rawInput.Consume(consumed);
            return InflateResult::MoreOutput;
        }
        const std::size_t room = budget < kInflateChunk ? budget : kInflateChunk;
        // Inflated straight onto the end of the text buffer: no copy through a side chunk.
        char* out = m_textInput.Reserve(room);
        const std::size_t available = m_rawInput.Size() - consumed;
        const uInt given = available > UINT_MAX ? UINT_MAX : static_cast<uInt>(available);
        m_inflateStream.next_in =
            reinterpret_cast<Bytef*>(const_cast<char*>(m_rawInput.Data())) + consumed;
        m_inflateStream.avail_in = given;
        m_inflateStream.next_out = reinterpret_cast<Bytef*>(out);
        m_inflateStream.avail_out = static_cast<uInt>(room);
        int result = inflate(&m_inflateStream, Z_NO_FLUSH);
        const std::size_t produced = room - m_inflateStream.avail_out;
        m_textInput.Commit(produced);
        budget -= produced;
        consumed += given - m_inflateStream.avail_in;

        if (result == Z_NEED_DICT) result = Z_DATA_ERROR;
        // No progress possible: everything received so far is inflated. Not a failure; it
        // happens whenever the last output filled the room exactly.
        if (result == Z_BUF_ERROR) break;
        if (result < 0) {
            // What was inflated before the corrupt part is the server's text: its complete lines
            // are shown, whichever read the corruption arrived in.
            m_rawInput.Consume(consumed);
            const std::uint64_t generation = m_generation;
            if (ParseTelnet(m_textInput)) TakeLines(m_textInput);
            if (generation != m_generation) return InflateResult::Failed;
            char message[256];
            std::snprintf(message, sizeof(message), "inflate() failed with error %d", result);
            ReportError(message);
            DropConnection(false);
            return InflateResult::Failed;
        }
        if (result == Z_STREAM_END) {
            m_rawInput.Consume(consumed);
            // The commands the stream carried are handled while it is still on, so a start
            // sequence among them starts nothing, whichever read the stream's end came in.
            const std::uint64_t generation = m_generation;
            ParseTelnet(m_textInput);
            if (generation != m_generation) return InflateResult::Failed;
            SetCompressIn(false, 0);
            // What follows the stream is plain again and comes after the text inflated so far,
            // which is not yet taken as lines: both go on as the raw input, in that order.
            m_textInput.Append(m_rawInput.Data(), m_rawInput.Size());
            m_rawInput.Swap(m_textInput);
            m_textInput.Clear();
            return InflateResult::StreamEnded;
        }
        if (m_inflateStream.avail_out != 0) break;
    }
    m_rawInput.Consume(consumed);
    return InflateResult::NeedInput;
}

void CTelnetEngine::SendDeflated(const char* data, std::size_t length) {
    const std::uint64_t generation = m_generation;
    do {
        const uInt given = length > UINT_MAX ? UINT_MAX : static_cast<uInt>(length);
        m_deflateStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        m_deflateStream.avail_in = given;
        for (;;) {
            m_deflateStream.next_out = m_deflateChunk.data();
            m_deflateStream.avail_out = static_cast<uInt>(m_deflateChunk.size());
            const int result = deflate(&m_deflateStream, Z_PARTIAL_FLUSH);
            const std::size_t produced = m_deflateChunk.size() - m_deflateStream.avail_out;
            // Z_BUF_ERROR only says that nothing was left to do (the previous chunk was
            // filled exactly, or nothing was given): the stream is fine.
            if (result == Z_BUF_ERROR && produced == 0) break;
            if (result != Z_OK) {
                char message[256];
                std::snprintf(message, sizeof(message), "deflate() failed with error %d", result);
                ReportError(message);
                DropConnection(false);
                return;
            }
            m_connection->Send(reinterpret_cast<const char*>(m_deflateChunk.data()), produced);
            if (generation != m_generation) return;
            if (m_deflateStream.avail_out != 0) break;
        }
        data += given;
        length -= given;
    } while (length != 0);
}
