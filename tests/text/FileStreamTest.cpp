#include "text/FileStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/Files.h"
#include "support/TempDir.h"
#include "text/StringBuffer.h"

namespace vosk {
namespace {

// A stream whose writes go to memory. Scripted results are used first:
// a value >= 0 is the write's result (capped at the size asked), a
// negative value fails the write with that errno negated.
class MemoryStream : public FileStream {
  public:
    explicit MemoryStream(int fd = 7) : FileStream(fd) {}
    std::vector<std::string> writes;  // one entry per successful call
    std::deque<long> script;
    int calls = 0;

    std::string Written() const {
        std::string all;
        for (const std::string& w : writes) {
            all += w;
        }
        return all;
    }

  protected:
    long RawWrite(const char* data, size_t size) override {
        ++calls;
        long result = static_cast<long>(size);
        if (!script.empty()) {
            result = script.front();
            script.pop_front();
        }
        if (result < 0) {
            errno = static_cast<int>(-result);
            return -1;
        }
        result = std::min(result, static_cast<long>(size));
        if (result > 0) {
            writes.emplace_back(data, static_cast<size_t>(result));
        }
        return result;
    }
};

static_assert(!std::is_copy_constructible_v<FileStream> && !std::is_copy_assignable_v<FileStream>);

TEST(FileStream, Construction) {
    FileStream none;
    EXPECT_EQ(none.Descriptor(), -1);
    EXPECT_EQ(none.Capacity(), FileStream::kInitialSize);
    FileStream some(5);
    EXPECT_EQ(some.Descriptor(), 5);
}

TEST(FileStream, NewlineFromPutFlushesEverythingPending) {
    MemoryStream s;
    EXPECT_EQ(s.Write("a\nb", -1), 3);  // a newline written is not a flush
    EXPECT_TRUE(s.writes.empty());
    EXPECT_EQ(s.Put('c'), 'c');
    EXPECT_EQ(s.Put('\n'), '\n');
    ASSERT_EQ(s.writes.size(), 1u);
    EXPECT_EQ(s.writes[0], "a\nbc\n");
    EXPECT_EQ(s.ContentLength(), 0);
    EXPECT_EQ(s.Room(), s.Capacity());
    EXPECT_EQ(s.LastChar(), '\n');
}

TEST(FileStream, WriteLargerThanTheBuffer) {
    MemoryStream s;
    std::string data(10000, 'x');
    data.back() = 'z';
    EXPECT_EQ(s.Write(data.c_str(), -1), 10000);
    ASSERT_EQ(s.writes.size(), 1u);
    EXPECT_EQ(s.writes[0].size(), 8192u);
    EXPECT_EQ(s.ContentLength(), 1808);
    EXPECT_EQ(s.LastChar(), 'z');
    EXPECT_EQ(s.Sync(), 8192);
    EXPECT_EQ(s.Written(), data);
    EXPECT_EQ(s.ContentLength(), 0);
}

// The storage grows to the buffer size before the stream writes anything,
// so that it writes where a stream with all of it from the start would; a
// stream that was never filled holds only its first few hundred bytes.
TEST(FileStream, StorageGrowsToTheBufferSizeBeforeAWrite) {
    MemoryStream s;
    std::string text(FileStream::kBufferSize - 1, 'g');
    for (char c : text) {
        ASSERT_EQ(s.Put(c), 'g');
    }
    EXPECT_TRUE(s.writes.empty());
    EXPECT_EQ(s.Capacity(), FileStream::kBufferSize);
    EXPECT_EQ(s.Write("hi", -1), 2);  // the last byte fills it; the next finds it full
    ASSERT_EQ(s.writes.size(), 1u);
    EXPECT_EQ(s.writes[0], text + "h");
    EXPECT_EQ(s.ContentLength(), 1);
    EXPECT_EQ(s.Capacity(), FileStream::kBufferSize);  // never shrinks

    // Storage that cannot grow is written out instead, nothing lost.
    class Capped : public MemoryStream {
      protected:
        void* Reallocate(void* storage, size_t size) override {
            return size > 512 ? nullptr : MemoryStream::Reallocate(storage, size);
        }
    } capped;
    std::string longText(700, 'c');
    EXPECT_EQ(capped.Write(longText.c_str(), -1), 700);
    EXPECT_EQ(capped.Capacity(), 512);
    capped.Sync();
    EXPECT_EQ(capped.Written(), longText);
}

// A write that the system takes only in part (a full disk) is never
// continued: a second write could come after another writer's record. The
// rest is dropped, and the line cut is ended at once when one more byte
// goes, else by the next write.
TEST(FileStream, AShortWriteIsNotContinuedAndItsLineIsEnded) {
    struct Case {
        const char* name;
        std::string text;
        std::deque<long> script;
        int32_t sync;         // Sync's result: > 0 for success
        int error;            // errno after a failed Sync
        bool beforeLineEnd;   // CutBeforeLineEnd
        std::string written;  // once "more\n" followed
    };
    const int32_t ok = FileStream::kInitialSize;
    const Case cases[] = {
        {"the line ended at once", "abcdefgh\n", {3, 1}, 0, ENOSPC, false, "abc\nmore\n"},
        {"the disk still full", "abcdefgh\n", {3, -ENOSPC}, 0, ENOSPC, false, "abc\nmore\n"},
        {"a file size limit", "abcdefgh\n", {3, -EFBIG}, 0, EFBIG, false, "abc\nmore\n"},
        {"nothing more taken, no error", "abcdefgh\n", {3, 0}, 0, ENOSPC, false, "abc\nmore\n"},
        {"only the line end missing, then taken",
         "abcdefgh\n",
         {8, 1},
         ok,
         0,
         false,
         "abcdefgh\nmore\n"},
        {"only the line end missing",
         "abcdefgh\n",
         {8, -ENOSPC},
         0,
         ENOSPC,
         true,
         "abcdefgh\nmore\n"},
        {"cut after a line end", "abc\ndefgh\n", {4}, 0, ENOSPC, false, "abc\nmore\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStream s;
        s.script = c.script;
        s.Write(c.text.c_str(), -1);
        errno = 0;
        EXPECT_EQ(s.Sync(), c.sync);
        if (c.sync <= 0) {
            EXPECT_EQ(errno, c.error);
        }
        EXPECT_EQ(s.CutBeforeLineEnd(), c.beforeLineEnd);
        EXPECT_EQ(s.ContentLength(), 0);
        s.script.clear();
        s.Write("more\n", -1);
        EXPECT_GT(s.Sync(), 0);
        EXPECT_EQ(s.Written(), c.written);
    }
}

TEST(FileStream, WriteResults) {
    struct Case {
        const char* name;
        std::deque<long> script;
        int32_t overflow;
        std::string written;
    };
    const Case cases[] = {
        {"all written", {}, FileStream::kInitialSize, "pending"},
        {"EINTR is retried", {-EINTR}, FileStream::kInitialSize, "pending"},
        {"EAGAIN is retried", {-EAGAIN, -EAGAIN}, FileStream::kInitialSize, "pending"},
        {"nothing written", {0}, -1, ""},
        {"write error", {-EIO}, -3, ""},
        {"error after a part", {3, -EIO}, -3, "pen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStream s;
        s.script = c.script;
        s.Write("pending", -1);
        EXPECT_EQ(s.Overflow(), c.overflow);
        EXPECT_EQ(s.Written(), c.written);
        // Either way nothing is left pending and the stream goes on.
        EXPECT_EQ(s.ContentLength(), 0);
        EXPECT_EQ(s.Room(), FileStream::kInitialSize);
        s.Write("more", -1);
        EXPECT_EQ(s.Sync(), FileStream::kInitialSize);
        // Text after a line cut short starts on a line of its own.
        bool cut = c.overflow < 0 && !c.written.empty();
        EXPECT_EQ(s.Written(), c.written + (cut ? "\n" : "") + "more");
    }
}

// A full disk cuts a record short; what comes next must not be glued to the
// part that landed.
TEST(FileStream, AfterAWriteLeftALineCutShortTheNextTextStartsANewLine) {
    struct Case {
        const char* name;
        std::deque<long> script;  // for "one\nmore\n", then what follows
        std::string written;      // once "two\n" and "three\n" followed
    };
    const Case cases[] = {
        {"cut inside a line", {2, -ENOSPC}, "on\ntwo\nthree\n"},
        {"cut on a line end", {4}, "one\ntwo\nthree\n"},
        {"the cut line ended at once", {2, 1}, "on\ntwo\nthree\n"},
        {"nothing landed", {-ENOSPC}, "two\nthree\n"},
        {"the separating newline failed too", {2, -ENOSPC, -ENOSPC}, "on\nthree\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStream s;
        s.Write("zero\n", -1);
        EXPECT_GT(s.Sync(), 0);
        s.script = c.script;
        s.Write("one\nmore\n", -1);
        EXPECT_LE(s.Sync(), 0);
        for (const char* line : {"two\n", "three\n"}) {
            s.Write(line, -1);
            s.Sync();
        }
        EXPECT_EQ(s.Written(), "zero\n" + c.written);
    }

    // A new descriptor is a new file: nothing to separate from.
    MemoryStream s;
    s.script = {2, -ENOSPC};
    s.Write("one\n", -1);
    EXPECT_LE(s.Sync(), 0);
    s.Attach(8);
    s.Write("two\n", -1);
    s.Sync();
    EXPECT_EQ(s.Written(), "ontwo\n");
}

TEST(FileStream, FailedFlushesThroughSyncPutAndWrite) {
    MemoryStream s;
    s.script = {0};
    s.Write("x", -1);
    EXPECT_EQ(s.Sync(), 0);
    EXPECT_EQ(s.ContentLength(), 0);

    s.script = {-EIO};
    s.Put('a');
    EXPECT_EQ(s.Put('\n'), -1);  // stored, then the flush failed
    EXPECT_EQ(s.LastChar(), '\n');
    EXPECT_EQ(s.ContentLength(), 0);

    std::string full(8192, 'f');
    s.Write(full.c_str(), -1);
    s.script = {-EIO};
    EXPECT_EQ(s.Put('y'), -4);  // Overflow's -3, minus 1
    EXPECT_EQ(s.ContentLength(), 0);

    s.Write(full.c_str(), -1);
    s.script = {0};
    EXPECT_EQ(s.Write("abc", -1), -1);
    EXPECT_EQ(s.LastChar(), 0);
    EXPECT_TRUE(s.Written().empty());
}

TEST(FileStream, WithoutDescriptorPendingBytesAreDropped) {
    MemoryStream s(-1);
    std::string full(8192, 'f');
    EXPECT_EQ(s.Write(full.c_str(), -1), 8192);
    EXPECT_EQ(s.Put('c'), -2);
    EXPECT_EQ(s.ContentLength(), 0);  // dropped, and 'c' not stored
    EXPECT_EQ(s.LastChar(), 'f');
    s.Write("abc", -1);
    EXPECT_EQ(s.Sync(), 0);
    EXPECT_EQ(s.ContentLength(), 0);
    EXPECT_EQ(s.Overflow(), -1);
    EXPECT_EQ(s.calls, 0);
}

TEST(FileStream, AttachDropsAndDetachWrites) {
    MemoryStream s;
    s.Write("dropped", -1);
    EXPECT_EQ(s.Attach(9), 9);
    EXPECT_EQ(s.Descriptor(), 9);
    EXPECT_EQ(s.ContentLength(), 0);
    s.Write("kept", -1);
    EXPECT_EQ(s.Detach(), 0);
    EXPECT_EQ(s.Descriptor(), -1);
    EXPECT_EQ(s.Written(), "kept");
    // Detach drops what a failed flush left, and attaching -1 is "none".
    s.Attach(3);
    s.Write("lost", -1);
    s.script = {-EIO};
    EXPECT_EQ(s.Detach(), 0);
    EXPECT_EQ(s.ContentLength(), 0);
    EXPECT_EQ(s.Attach(-1), -1);
    EXPECT_EQ(s.Print("x"), -1);
}

TEST(FileStream, PrintWithoutDescriptorDoesNothing) {
    MemoryStream s(-1);
    EXPECT_EQ(s.Print("abc %d\n", 5), -1);
    EXPECT_EQ(s.ContentLength(), 0);
    EXPECT_EQ(s.calls, 0);
}

TEST(FileStream, PrintLineFlushesAtNewlinesOfTheFormatOnly) {
    MemoryStream s;
    EXPECT_EQ(s.Print("[%02d] %s", 7, "one\ntwo"), 12);
    EXPECT_TRUE(s.writes.empty());  // the newline came from an argument
    EXPECT_EQ(s.Print(" %d\n", 3), 3);
    ASSERT_EQ(s.writes.size(), 1u);
    EXPECT_EQ(s.writes[0], "[07] one\ntwo 3\n");
}

TEST(FileStream, FormattingGrowsTheBufferRatherThanFlushing) {
    MemoryStream s;
    std::string full(8190, 'a');
    s.Write(full.c_str(), -1);
    EXPECT_EQ(s.Print("%d", 12345), 5);
    EXPECT_TRUE(s.writes.empty());
    EXPECT_GT(s.Capacity(), 8192);
    EXPECT_EQ(s.ContentLength(), 8195);
    EXPECT_EQ(s.Sync(), s.Capacity());
    EXPECT_EQ(s.Written(), full + "12345");
}

TEST(FileStream, StorageOfAVeryWideRecordIsGivenBackOnceWritten) {
    struct Case {
        int width;
        bool givenBack;
    };
    const Case cases[] = {
        {100, false},     // small: nothing to give back
        {60000, false},   // grown, but not beyond the bound: kept
        {1000000, true},  // beyond it: back to the buffer size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        MemoryStream s;
        EXPECT_EQ(s.Print("%*d", c.width, 7), c.width);
        // Nothing is given back while bytes are pending.
        const int32_t grown = s.Capacity();
        s.Shrink();
        EXPECT_EQ(s.Capacity(), grown);
        s.Sync();
        s.Shrink();
        EXPECT_EQ(s.Capacity(), c.givenBack ? FileStream::kBufferSize : grown);
        EXPECT_LE(s.Capacity(), FileStream::kShrinkAbove);
        EXPECT_EQ(s.Written(), std::string(static_cast<size_t>(c.width) - 1, ' ') + "7");
        // And the stream goes on as before.
        EXPECT_EQ(s.Print("%s\n", "next"), 5);
        EXPECT_EQ(s.writes.back(), "next\n");
    }
}

// Whatever a record holds (long pieces, line ends of its own, raw text
// waiting before it), it leaves in one write; afterwards the stream writes
// and flushes lines as before, with its usual storage.
TEST(FileStream, ARecordOfAnyLengthLeavesInOneWrite) {
    struct Case {
        const char* what;
        std::string pending;
        std::vector<std::string> pieces;
    };
    const std::string longPiece(100000, 'r');
    const Case cases[] = {
        {"short", "", {"[stamp] ", "x=5", "\n"}},
        {"100 KB", "", {"[stamp] ", longPiece, "\n"}},
        {"line ends inside", "", {"[stamp] ", "one\ntwo\n", longPiece, "\n"}},
        {"raw text before", std::string(25, ' ') + "raw", {"[stamp] ", longPiece, "\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryStream s;
        s.Write(c.pending.c_str(), -1);
        s.BeginRecord();
        std::string expected = c.pending;
        for (const std::string& piece : c.pieces) {
            for (char ch : piece.substr(0, 3)) {
                s.Put(ch);  // a line end stored with Put does not flush either
            }
            s.Write(piece.c_str() + std::min<size_t>(3, piece.size()), -1);
            expected += piece;
        }
        EXPECT_TRUE(s.writes.empty());
        EXPECT_GT(s.EndRecord(true), 0);
        ASSERT_EQ(s.writes.size(), 1u);
        EXPECT_EQ(s.writes[0], expected);
        s.Shrink();
        EXPECT_LE(s.Capacity(), FileStream::kShrinkAbove) << "grown storage given back";
        s.Put('\n');
        EXPECT_EQ(s.writes.size(), 2u) << "line ends flush again";
    }
}

TEST(FileStream, ARecordRenderedElsewhereLeavesInOneWriteWithWhatIsPendingBeforeIt) {
    struct Case {
        const char* what;
        std::string pending;
        std::deque<long> script;  // for "zero\n", written before the case
        std::string record;
        std::string written;  // after "zero\n"
        size_t writes;
    };
    const std::string longRecord = "[stamp] " + std::string(100000, 'r') + "\n";
    const Case cases[] = {
        {"short, nothing pending", "", {}, "[stamp] x=5\n", "[stamp] x=5\n", 1},
        {"100 KB, nothing pending", "", {}, longRecord, longRecord, 1},
        {"raw text before", "  raw", {}, "[stamp] x=5\n", "  raw[stamp] x=5\n", 1},
        // The line end that ends the cut line goes first, in the same write.
        {"a cut line before", "", {2, -ENOSPC}, "[stamp] x=5\n", "\n[stamp] x=5\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryStream s;
        s.script = c.script;
        s.Write("zero\n", -1);
        s.Sync();
        s.writes.clear();
        s.Write(c.pending.c_str(), -1);
        EXPECT_GT(s.WriteAfterPending(c.record.data(), static_cast<int32_t>(c.record.size())), 0);
        EXPECT_EQ(s.Written(), c.written);
        EXPECT_EQ(s.writes.size(), c.writes);
        EXPECT_EQ(s.ContentLength(), 0) << "nothing left pending";
    }
}

TEST(FileStream, ARecordRenderedElsewhereWithoutDescriptorWritesNothingAndDropsThePending) {
    MemoryStream s(FileStream::kNoDescriptor);
    s.Write("  raw", -1);
    EXPECT_LT(s.WriteAfterPending("[stamp] x\n", 10), 0);
    EXPECT_EQ(s.ContentLength(), 0);
    EXPECT_EQ(s.calls, 0);
}

TEST(FileStream, AFailedWriteOfARecordRenderedElsewhereCutsNoLaterLine) {
    MemoryStream s;
    s.script = {4, -ENOSPC};
    EXPECT_LE(s.WriteAfterPending("[stamp] one\n", 12), 0);
    EXPECT_GT(s.WriteAfterPending("[stamp] two\n", 12), 0);
    EXPECT_EQ(s.Written(), "[sta\n[stamp] two\n");
}

TEST(FileStream, EndingARecordWithoutWritingKeepsItsBytesPending) {
    MemoryStream s;
    s.BeginRecord();
    s.Write("cut\n", -1);
    EXPECT_GT(s.EndRecord(false), 0);
    EXPECT_TRUE(s.writes.empty());
    EXPECT_EQ(s.ContentLength(), 4);
}

// A stream whose storage can be refused.
class StarvedStream : public MemoryStream {
  public:
    bool refuse = true;

  protected:
    void* Reallocate(void* storage, size_t size) override {
        return refuse ? nullptr : MemoryStream::Reallocate(storage, size);
    }
};

TEST(FileStream, WithoutStorageStoresNothingUntilTheEngineGetsSome) {
    StarvedStream s;
    s.Reserve(10000);  // cannot grow: the storage is given up
    EXPECT_EQ(s.Capacity(), 0);
    EXPECT_EQ(s.Put('a'), -1);
    EXPECT_EQ(s.Write("abc", -1), 0);
    EXPECT_EQ(s.Sync(), 0);
    EXPECT_EQ(s.Print("%d", 5), 0);  // no room for the conversion: ends
    s.refuse = false;
    EXPECT_EQ(s.Print("%d", 42), 2);
    EXPECT_EQ(s.Capacity(), 16);
    s.Sync();
    EXPECT_EQ(s.Written(), "42");
}

TEST(FileStream, WritesToARealFileAndLeavesItOpen) {
    test::TempDir dir;
    std::string path = dir.Str("stream.log");
    int fd = platform::FileOpen(path.c_str(), platform::kOpenCreate | platform::kOpenTruncate);
    ASSERT_GE(fd, 0);
    {
        FileStream s(fd);
        EXPECT_EQ(s.Print("x=%d\n", 5), 4);
        s.Write("raw", -1);
        EXPECT_GT(s.Sync(), 0);
        s.Write("never written", -1);
    }
    // Destroying the stream neither wrote its pending bytes nor closed fd.
    EXPECT_EQ(platform::FileWrite(fd, "!", 1), 1);
    EXPECT_EQ(platform::FileClose(fd), 0);
    EXPECT_EQ(test::ReadBytes(path), test::OnDisk("x=5\nraw!"));
}

}  // namespace
}  // namespace vosk
