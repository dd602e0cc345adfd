#include "text/RecordBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/AppendFormat.h"

namespace vosk {
namespace {

using test::Append;

TEST(RecordBuffer, KeepsEveryByteAcrossTheMoveOutOfItsOwnStorage) {
    const int32_t widths[] = {0,
                              1,
                              RecordBuffer::kInlineSize - 8,
                              RecordBuffer::kInlineSize - 7,
                              RecordBuffer::kInlineSize,
                              100000};
    for (int32_t width : widths) {
        SCOPED_TRACE(width);
        RecordBuffer buffer;
        EXPECT_EQ(buffer.Write("[stamp] ", -1), 8);
        EXPECT_EQ(Append(buffer, "%*d|%s", width, 7, "end"), std::max(width, 1) + 4);
        EXPECT_EQ(buffer.PutCounted('\n'), 1);
        std::string expected =
            "[stamp] " + std::string(static_cast<size_t>(std::max(width, 1) - 1), ' ') + "7|end\n";
        EXPECT_EQ(std::string(buffer.Data(), static_cast<size_t>(buffer.ContentLength())),
                  expected);
        EXPECT_EQ(buffer.LastChar(), '\n');
        EXPECT_FALSE(buffer.Lost());
    }
}

TEST(RecordBuffer, ALineEndDoesNotFlushIt) {
    RecordBuffer buffer;
    EXPECT_EQ(Append(buffer, "one\ntwo\n"), 8);
    EXPECT_EQ(buffer.ContentLength(), 8);
}

}  // namespace
}  // namespace vosk
