// Storage, cursor and room handling shared by every buffer, seen through
// StringBuffer (whose Overflow grows) and a buffer whose growth can fail.
#include "text/TextBuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "text/StringBuffer.h"

namespace vosk {
namespace {

// A StringBuffer whose storage cannot grow while `refuse` is set.
class RefusingBuffer : public StringBuffer {
  public:
    bool refuse = false;
    int calls = 0;

  protected:
    void* Reallocate(void* storage, size_t size) override {
        ++calls;
        return refuse ? nullptr : StringBuffer::Reallocate(storage, size);
    }
};

// The base behaviour: a buffer that neither syncs nor overflows.
class PlainBuffer : public TextBuffer {
  public:
    explicit PlainBuffer(int32_t size) : TextBuffer(kPutMode, size, true) {}
};

TEST(TextBuffer, ConstructorSizes) {
    EXPECT_EQ(PlainBuffer(0).Capacity(), 512);
    EXPECT_EQ(PlainBuffer(-3).Capacity(), 512);
    PlainBuffer b(10);
    EXPECT_EQ(b.Capacity(), 10);
    EXPECT_EQ(b.Room(), 10);
    EXPECT_EQ(b.Data()[0], '\0');
}

TEST(TextBuffer, BaseOperationsReportFailure) {
    PlainBuffer b(4);
    EXPECT_EQ(b.Sync(), -1);
    EXPECT_EQ(b.Underflow(), 0);
    EXPECT_EQ(b.Overflow(), -1);
}

TEST(TextBuffer, PutResults) {
    PlainBuffer b(3);
    EXPECT_EQ(b.Put('a'), 'a');
    EXPECT_EQ(b.Put('\xE9'), 0xE9);  // unsigned, not negative
    // A newline is stored; the base Sync gives -1, so Put reports -2.
    EXPECT_EQ(b.Put('\n'), -2);
    EXPECT_EQ(b.ContentLength(), 3);
    EXPECT_EQ(b.LastChar(), '\n');
    // Full, and the base Overflow makes no room: nothing stored, -2.
    EXPECT_EQ(b.Put('z'), -2);
    EXPECT_EQ(b.ContentLength(), 3);
    EXPECT_EQ(b.LastChar(), '\n');
    EXPECT_EQ(b.Room(), 0);
}

TEST(TextBuffer, PutCounted) {
    PlainBuffer b(2);
    EXPECT_EQ(b.PutCounted('a'), 1);
    EXPECT_EQ(b.PutCounted('\n'), -2);  // stored, flush failed
    EXPECT_EQ(b.PutCounted('b'), -2);   // no room
}

TEST(TextBuffer, PutGrowsAStringBufferWhenFull) {
    StringBuffer b;
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(b.Put('x'), 'x');
    }
    EXPECT_EQ(b.Capacity(), 256);
    EXPECT_EQ(b.Room(), 0);
    EXPECT_EQ(b.Put('y'), 'y');
    EXPECT_EQ(b.Capacity(), 512);
    EXPECT_EQ(b.Length(), 257);
    EXPECT_EQ(b.Room(), 255);
}

TEST(TextBuffer, Write) {
    StringBuffer b;
    EXPECT_EQ(b.Write(nullptr, 5), 0);
    EXPECT_EQ(b.Write("", -1), 0);
    EXPECT_EQ(b.LastChar(), 0);
    EXPECT_EQ(b.Write("abc", -1), 3);
    EXPECT_EQ(b.LastChar(), 'c');
    EXPECT_EQ(b.Write("xyz", 2), 2);
    EXPECT_EQ(b.LastChar(), 'y');
    EXPECT_EQ(b.Write("zz", 0), 0);
    EXPECT_EQ(b.LastChar(), 'y');
    // Larger than the room: copied in blocks across growth.
    std::string big(1000, 'q');
    big.back() = '!';
    EXPECT_EQ(b.Write(big.c_str(), -1), 1000);
    EXPECT_EQ(b.Length(), 1005);
    EXPECT_EQ(b.LastChar(), '!');
    EXPECT_EQ(std::string(b.CStr()), "abcxy" + big);
}

TEST(TextBuffer, WriteWithoutRoomReportsOverflowAndClearsLastChar) {
    PlainBuffer b(4);
    EXPECT_EQ(b.Write("ab", -1), 2);
    EXPECT_EQ(b.Write("cdef", -1), -1);  // two stored, then Overflow fails
    EXPECT_EQ(b.LastChar(), 0);
    EXPECT_EQ(b.ContentLength(), 4);
    EXPECT_EQ(std::string(b.Data(), 4), "abcd");
}

TEST(TextBuffer, Reserve) {
    StringBuffer b;
    b.Write("0123456789", -1);
    EXPECT_EQ(b.Reserve(-1), -1);
    EXPECT_EQ(b.Capacity(), 256);
    EXPECT_EQ(b.Reserve(0), 246);
    EXPECT_EQ(b.Reserve(246), 246);
    EXPECT_EQ(b.Capacity(), 256);
    // Shortfall 1: grows by max(capacity, 1), keeping the content.
    EXPECT_EQ(b.Reserve(247), 502);
    EXPECT_EQ(b.Capacity(), 512);
    EXPECT_STREQ(b.CStr(), "0123456789");
}

TEST(TextBuffer, PrepareAndCommitAppendInPlace) {
    StringBuffer b;
    b.Write("n=", -1);
    // Enough room already: the cursor, nothing grown.
    char* out = b.Prepare(16);
    ASSERT_EQ(out, b.Cursor());
    EXPECT_EQ(b.Capacity(), 256);
    std::memcpy(out, "42xx", 4);
    b.Commit(2);  // only what was rendered counts
    EXPECT_EQ(b.Length(), 4);
    EXPECT_EQ(b.Room(), 252);
    EXPECT_EQ(b.LastChar(), '2');
    EXPECT_STREQ(b.CStr(), "n=42");
    // Nothing taken: LastChar stays.
    b.Commit(0);
    EXPECT_EQ(b.LastChar(), '2');
    // More than the room: grows first, keeping the content.
    out = b.Prepare(300);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out, b.Data() + 4);
    EXPECT_GE(b.Room(), 300);
    EXPECT_STREQ(b.CStr(), "n=42");
}

TEST(TextBuffer, PrepareFailsWithoutRoom) {
    RefusingBuffer b;
    b.Write("abc", -1);
    // Beyond 32 bits: refused, content kept.
    EXPECT_EQ(b.Prepare(INT32_MAX), nullptr);
    EXPECT_STREQ(b.CStr(), "abc");
    // A growth that fails gives the storage up.
    b.refuse = true;
    EXPECT_EQ(b.Prepare(1000), nullptr);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.Room(), 0);
}

TEST(TextBuffer, GrowAtLeastDoubles) {
    StringBuffer b;
    b.Grow(10);
    EXPECT_EQ(b.Capacity(), 512);
    b.Grow(1000);
    EXPECT_EQ(b.Capacity(), 1512);
    EXPECT_EQ(b.Room(), 1512);
}

TEST(TextBuffer, GrowthBeyond32BitsFailsAndKeepsTheContent) {
    RefusingBuffer b;
    b.Write("0123456789", -1);
    // 256 + (INT32_MAX - 246) does not fit: refused before any allocation.
    EXPECT_EQ(b.Reserve(INT32_MAX), 0);
    EXPECT_EQ(b.calls, 0);
    EXPECT_EQ(b.Capacity(), 256);
    EXPECT_EQ(b.Room(), 246);
    EXPECT_STREQ(b.CStr(), "0123456789");
    b.Grow(INT32_MAX);
    EXPECT_EQ(b.Capacity(), 256);
}

TEST(TextBuffer, FailedGrowthReleasesStorageAndTheBufferStaysUsable) {
    RefusingBuffer b;
    b.Write("abc", -1);
    b.refuse = true;
    EXPECT_EQ(b.Reserve(1000), 0);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.Room(), 0);
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Data(), nullptr);
    // Without storage: nothing can be stored, nothing crashes.
    EXPECT_EQ(b.Put('x'), -1);
    EXPECT_EQ(b.Write("xyz", -1), 0);
    EXPECT_EQ(b.Advance(), 0);
    EXPECT_STREQ(b.CStr(), "");
    b.Terminate();
    b.Reset();
    b.Trim();
    EXPECT_EQ(b.AppendInt(5), 0);
    EXPECT_STREQ(b.Format("%d%s", 5, "x").CStr(), "");
    EXPECT_TRUE(b == "");
    // Growth from nothing once memory is there again.
    b.refuse = false;
    EXPECT_EQ(b.Put('x'), 'x');
    EXPECT_EQ(b.Capacity(), 256);
    EXPECT_STREQ(b.CStr(), "x");
}

TEST(TextBuffer, AdvanceTakesTextRenderedInPlace) {
    StringBuffer b;
    b.Write("n=", -1);
    ASSERT_GE(b.Reserve(16), 16);
    std::snprintf(b.Cursor(), 16, "%d", 1234);
    EXPECT_EQ(b.Advance(), 4);
    EXPECT_EQ(b.LastChar(), '4');
    EXPECT_EQ(b.Length(), 6);
    EXPECT_EQ(b.Room(), b.Capacity() - 6);
    EXPECT_STREQ(b.CStr(), "n=1234");
    // Nothing rendered: nothing taken, LastChar kept.
    *b.Cursor() = '\0';
    EXPECT_EQ(b.Advance(), 0);
    EXPECT_EQ(b.LastChar(), '4');
}

TEST(TextBuffer, AdvanceNeverPassesTheRoom) {
    PlainBuffer b(4);
    b.Write("ab", -1);
    char* cursor = const_cast<char*>(b.Data()) + 2;
    cursor[0] = 'c';
    cursor[1] = 'd';  // no NUL within the room
    EXPECT_EQ(b.Advance(), 2);
    EXPECT_EQ(b.Room(), 0);
    EXPECT_EQ(b.Advance(), 0);
    EXPECT_EQ(b.LastChar(), 'd');
}

}  // namespace
}  // namespace vosk
