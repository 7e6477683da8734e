#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "net/ByteBuffer.h"

TEST(ByteBuffer, MatchesAStringUnderMixedAppendsConsumesTruncatesAndErases) {
    CByteBuffer buffer;
    std::string model;
    std::mt19937 random(11);
    std::size_t peak = 0;
    for (int step = 0; step < 20000; ++step) {
        const int action = static_cast<int>(random() % 11);
        if (action < 5) {
            std::string piece(random() % 700, '\0');
            for (char& byte : piece) byte = static_cast<char>(random());
            buffer.Append(piece.data(), piece.size());
            model += piece;
        } else if (action < 8) {
            const std::size_t count = model.empty() ? 0 : random() % (model.size() + 1);
            buffer.Consume(count);
            model.erase(0, count);
        } else if (action == 8) {
            const std::size_t keep = model.empty() ? 0 : random() % (model.size() + 1);
            buffer.Truncate(keep);
            model.resize(keep);
        } else if (action == 9) {
            const std::size_t from = model.empty() ? 0 : random() % (model.size() + 1);
            const std::size_t count = random() % 300;
            buffer.Erase(from, count);
            if (from < model.size()) model.erase(from, count);
        } else {
            char* room = buffer.Reserve(100);
            for (int i = 0; i < 40; ++i) room[i] = static_cast<char>('A' + i % 26);
            buffer.Commit(40);
            for (int i = 0; i < 40; ++i) model += static_cast<char>('A' + i % 26);
        }
        ASSERT_EQ(std::string(buffer.Data(), buffer.Size()), model) << "step " << step;
        peak = std::max(peak, model.size());
    }
    // Consumed bytes in front are reused: the storage follows the most ever held at once.
    EXPECT_LE(buffer.Capacity(), 4 * (peak + 1024));
}

TEST(ByteBuffer, FindStopsAtTheLimitAndEmptyBuffersAreSafe) {
    CByteBuffer buffer;
    EXPECT_EQ(buffer.Find('\n'), CByteBuffer::npos);
    EXPECT_STREQ(buffer.Data(), "");
    buffer.Append("ab\ncd\n", 6);
    EXPECT_EQ(buffer.Find('\n'), 2u);
    EXPECT_EQ(buffer.Find('\n', 3), 5u);
    EXPECT_EQ(buffer.Find('\n', 3, 5), CByteBuffer::npos);
    EXPECT_EQ(buffer.Find('\n', 0, 2), CByteBuffer::npos);
    buffer.Consume(100);
    EXPECT_TRUE(buffer.Empty());
    EXPECT_STREQ(buffer.Data(), "");  // not the consumed bytes still in the storage
    buffer.Append("x", 1);
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_STREQ(buffer.Data(), "");
}
