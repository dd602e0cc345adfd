#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "support/Stopwatch.h"
#include "threading/BlockingQueue.h"

namespace vosk {
namespace {

using test::Eventually;
using test::kEarlyMs;
using test::kPromptMs;
using test::Stopwatch;

// Payloads are destroyed through a virtual destructor, as a Log is.
struct Payload {
    virtual ~Payload() = default;
};

// Records its destruction in a shared list.
class Item : public Payload {
  public:
    Item(int id, std::vector<int>* destroyed, std::mutex* guard = nullptr)
        : id_(id), destroyed_(destroyed), guard_(guard) {}
    ~Item() override {
        if (guard_ != nullptr) {
            std::lock_guard<std::mutex> hold(*guard_);
            destroyed_->push_back(id_);
        } else {
            destroyed_->push_back(id_);
        }
    }
    int id() const { return id_; }

  private:
    int id_;
    std::vector<int>* destroyed_;
    std::mutex* guard_;
};

using Queue = BlockingQueue<Payload>;
using Entry = QueueEntry<Payload>;

int IdOf(const Entry* entry) {
    return entry == nullptr ? 0 : static_cast<const Item*>(entry->payload)->id();
}

// The ids from first to last, walking as the maintenance loop does.
std::vector<int> Ids(Queue& queue) {
    std::vector<int> ids;
    for (Entry* e = queue.Peek(0, 0); e != nullptr; e = queue.Next(e)) {
        ids.push_back(IdOf(e));
    }
    return ids;
}

// True when a Take with this time-out waits it out: the signal is clear.
bool WaitsFull(Queue& queue, int32_t timeoutMs) {
    Stopwatch watch;
    const bool none = queue.Take(0, timeoutMs) == nullptr;
    return none && watch.Ms() >= timeoutMs - kEarlyMs;
}

class BlockingQueueTest : public ::testing::Test {
  protected:
    Entry* Append(int id) {
        return queue.Insert(std::make_unique<Item>(id, &destroyed), queue.Count());
    }
    void Fill(int n) {
        for (int i = 1; i <= n; ++i) {
            ASSERT_NE(Append(i), nullptr);
        }
    }

    std::vector<int> destroyed;  // outlives the queue
    Queue queue;
};

TEST(ListLink, WalksAndLinksAChainBetweenSentinels) {
    ListLink head, tail, a, b;
    head.InsertAfter(&tail);
    EXPECT_EQ(tail.LastMember(), nullptr) << "empty chain";
    EXPECT_EQ(head.At(0), &tail);
    tail.First()->InsertAfter(&a);
    head.InsertAt(&b, 0);  // front
    EXPECT_EQ(head.next, &b);
    EXPECT_EQ(b.next, &a);
    EXPECT_EQ(a.next, &tail);
    EXPECT_EQ(tail.prev, &a);
    EXPECT_EQ(a.First(), &head);
    EXPECT_EQ(tail.LastMember(), &a);
    EXPECT_EQ(head.At(-3), &b);
    EXPECT_EQ(head.At(1), &a);
    EXPECT_EQ(head.At(2), &tail);
    EXPECT_EQ(head.At(3), nullptr) << "past the end";
    EXPECT_EQ(head.RemoveAt(0), &b);
    EXPECT_EQ(b.next, nullptr);
    EXPECT_EQ(b.prev, nullptr);
    b.Unlink();  // in no chain: nothing
    EXPECT_EQ(head.next, &a);
    {
        ListLink c;
        a.InsertAfter(&c);
        EXPECT_EQ(tail.LastMember(), &c);
    }  // destroying a link unlinks it
    EXPECT_EQ(a.next, &tail);
    EXPECT_EQ(tail.prev, &a);
}

TEST_F(BlockingQueueTest, EntryAddressLeadsToItsPayload) {
    auto owned = std::make_unique<Item>(1, &destroyed);
    Item* item = owned.get();
    Entry* entry = queue.Insert(std::move(owned), 0);
    ASSERT_NE(entry, nullptr);
    // A LogHandle is the entry's address; the payload is read through it.
    EXPECT_EQ(*reinterpret_cast<Payload**>(entry), item);
}

TEST_F(BlockingQueueTest, NullPayloadChangesNothing) {
    EXPECT_EQ(queue.Insert(nullptr, 0), nullptr);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.Peek(0, 0), nullptr);
    EXPECT_TRUE(WaitsFull(queue, 30)) << "signal still clear";
}

TEST_F(BlockingQueueTest, InsertPositions) {
    struct Case {
        int32_t position;  // -100: the count at the time of the call
        std::vector<int> order;
    };
    const int32_t kAtCount = -100;
    const Case cases[] = {
        {kAtCount, {1, 2, 3, 9}}, {13, {1, 2, 3, 9}},  // beyond the count: last
        {0, {9, 1, 2, 3}},        {-1, {9, 1, 2, 3}},
        {-7, {9, 1, 2, 3}},       {2, {1, 2, 3, 9}},  // the last position: after the last entry
        {1, {1, 2, 9, 3}},                            // inside: after the entry at the position
    };
    for (const Case& c : cases) {
        std::vector<int> gone;
        Queue q;
        for (int i = 1; i <= 3; ++i) {
            q.Insert(std::make_unique<Item>(i, &gone), static_cast<int32_t>(q.Count()));
        }
        int32_t position = c.position == kAtCount ? static_cast<int32_t>(q.Count()) : c.position;
        ASSERT_NE(q.Insert(std::make_unique<Item>(9, &gone), position), nullptr);
        EXPECT_EQ(Ids(q), c.order) << "position " << position;
        EXPECT_EQ(q.Count(), 4u);
    }
}

TEST_F(BlockingQueueTest, InsertIntoAnEmptyQueueAtAnyPosition) {
    for (int32_t position : {-1, 0, 1, 50}) {
        std::vector<int> gone;
        Queue q;
        ASSERT_NE(q.Insert(std::make_unique<Item>(1, &gone), position), nullptr);
        EXPECT_EQ(Ids(q), std::vector<int>{1});
        EXPECT_EQ(q.Peek(0, 0), q.Peek(-1, 0));
    }
}

TEST_F(BlockingQueueTest, TakePositions) {
    struct Case {
        int32_t position;
        int taken;  // 0: none
        std::vector<int> left;
    };
    const Case cases[] = {
        {-1, 3, {1, 2}}, {2, 3, {1, 2}}, {3, 0, {1, 2, 3}}, {40, 0, {1, 2, 3}},
        {0, 1, {2, 3}},  {1, 2, {1, 3}}, {-9, 3, {1, 2}},
    };
    for (const Case& c : cases) {
        std::vector<int> gone;
        Queue q;
        for (int i = 1; i <= 3; ++i) {
            q.Insert(std::make_unique<Item>(i, &gone), static_cast<int32_t>(q.Count()));
        }
        std::unique_ptr<Entry> entry = q.Take(c.position, 0);
        EXPECT_EQ(IdOf(entry.get()), c.taken) << "position " << c.position;
        EXPECT_EQ(Ids(q), c.left) << "position " << c.position;
        EXPECT_EQ(q.Count(), c.left.size());
        if (entry != nullptr) {
            EXPECT_EQ(entry->link.next, nullptr) << "a taken entry is unlinked";
            EXPECT_EQ(q.Next(entry.get()), nullptr);
        }
        entry.reset();
        EXPECT_EQ(q.Count(), c.left.size()) << "a taken entry's end leaves the count alone";
        EXPECT_EQ(gone, c.taken == 0 ? std::vector<int>{} : std::vector<int>{c.taken});
    }
}

TEST_F(BlockingQueueTest, TakeOnAnEmptyQueue) {
    Stopwatch watch;
    EXPECT_EQ(queue.Take(0, 0), nullptr);
    EXPECT_EQ(queue.Take(-1, -1), nullptr) << "a negative time-out does not wait";
    EXPECT_LT(watch.Ms(), kPromptMs);
    EXPECT_TRUE(WaitsFull(queue, 150));
}

TEST_F(BlockingQueueTest, WaitingTakeReturnsAnEntryInsertedMeanwhile) {
    std::thread inserter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Append(5);
    });
    Stopwatch watch;
    std::unique_ptr<Entry> entry = queue.Take(0, 5000);
    inserter.join();
    EXPECT_EQ(IdOf(entry.get()), 5);
    EXPECT_LT(watch.Ms(), kPromptMs);
    entry.reset();
    EXPECT_EQ(destroyed, std::vector<int>{5});
}

TEST_F(BlockingQueueTest, TakingTheOnlyEntryClearsTheSignal) {
    Fill(1);
    queue.Take(0, 100);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_TRUE(WaitsFull(queue, 100));
}

TEST_F(BlockingQueueTest, WakeReleasesAWaitingTakeWithoutAnEntry) {
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        queue.Wake();
    });
    Stopwatch watch;
    EXPECT_EQ(queue.Take(0, 5000), nullptr);
    waker.join();
    EXPECT_LT(watch.Ms(), kPromptMs);
    EXPECT_TRUE(WaitsFull(queue, 100)) << "the empty take clears the signal again";
    Fill(1);
    EXPECT_EQ(IdOf(queue.Peek(0, 100)), 1) << "a wake leaves entries as they are";
}

TEST_F(BlockingQueueTest, PeekLeavesEverything) {
    EXPECT_EQ(queue.Peek(0, 0), nullptr);
    Fill(3);
    EXPECT_EQ(IdOf(queue.Peek(0, 0)), 1);
    EXPECT_EQ(IdOf(queue.Peek(0, 100)), 1);
    EXPECT_EQ(IdOf(queue.Peek(-1, 0)), 3);
    EXPECT_EQ(IdOf(queue.Peek(1, 0)), 2);
    EXPECT_EQ(queue.Peek(3, 0), nullptr);
    EXPECT_EQ(queue.Count(), 3u);
    EXPECT_EQ(Ids(queue), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(destroyed.empty());
}

TEST_F(BlockingQueueTest, NextStopsAtTheEnd) {
    Fill(2);
    Entry* first = queue.Peek(0, 0);
    Entry* last = queue.Next(first);
    EXPECT_EQ(IdOf(last), 2);
    EXPECT_EQ(queue.Next(last), nullptr);
    EXPECT_EQ(queue.Next(nullptr), nullptr);
}

TEST_F(BlockingQueueTest, DestroyingALinkedEntryRemovesIt) {
    Fill(3);
    delete queue.Peek(1, 0);
    EXPECT_EQ(Ids(queue), (std::vector<int>{1, 3}));
    EXPECT_EQ(queue.Count(), 2u);
    EXPECT_EQ(destroyed, std::vector<int>{2});
    delete queue.Peek(-1, 0);
    delete queue.Peek(0, 0);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(destroyed, (std::vector<int>{2, 3, 1}));
    EXPECT_TRUE(WaitsFull(queue, 50)) << "the last one cleared the signal";
}

TEST_F(BlockingQueueTest, DrainDestroysFirstToLast) {
    Fill(3);
    queue.Drain();
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.Peek(0, 0), nullptr);
    EXPECT_TRUE(WaitsFull(queue, 50));
    Fill(1);  // still usable
    EXPECT_EQ(Ids(queue), std::vector<int>{1});
}

TEST(BlockingQueue, DestructionDestroysWhatIsLeft) {
    std::vector<int> destroyed;
    {
        Queue queue;
        for (int i = 1; i <= 3; ++i) {
            queue.Insert(std::make_unique<Item>(i, &destroyed),
                         static_cast<int32_t>(queue.Count()));
        }
    }
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
}

TEST_F(BlockingQueueTest, OneInsertReleasesOneOfTwoWaitingTakers) {
    std::atomic<int> waiting{0};
    std::unique_ptr<Entry> taken[2];
    int64_t waited[2] = {0, 0};
    auto take = [&](int i) {
        ++waiting;
        Stopwatch watch;
        taken[i] = queue.Take(0, 300);
        waited[i] = watch.Ms();
    };
    std::thread a(take, 0), b(take, 1);
    ASSERT_TRUE(Eventually([&] { return waiting == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Append(1);
    a.join();
    b.join();
    int got = taken[0] != nullptr ? 0 : 1;
    EXPECT_EQ(IdOf(taken[got].get()), 1);
    EXPECT_EQ(taken[1 - got], nullptr);
    EXPECT_LE(waited[1 - got], 300 + kPromptMs);
}

TEST(BlockingQueue, ProducersAndConsumersShareIt) {
    constexpr int kPerProducer = 500;
    std::mutex guard;
    std::vector<int> destroyed;
    Queue queue;
    std::atomic<int> consumed{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < 2; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                int id = p * kPerProducer + i + 1;
                queue.Insert(std::make_unique<Item>(id, &destroyed, &guard),
                             static_cast<int32_t>(queue.Count()));
            }
        });
    }
    for (int c = 0; c < 2; ++c) {
        threads.emplace_back([&] {
            while (consumed < 2 * kPerProducer) {
                if (queue.Take(0, 20) != nullptr) {
                    ++consumed;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(destroyed.size(), 2u * kPerProducer);
    EXPECT_TRUE(WaitsFull(queue, 30));
}

}  // namespace
}  // namespace vosk
