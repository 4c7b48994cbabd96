#include "output/pacequeue.h"

#include <gtest/gtest.h>

#include <map>

namespace zl {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// Three paced outputs side by side over a second of virtual time, the sender keeping every
// packet's moment: each output gets all its frames, each frame's packets inside its own span,
// and the packets of all of them go out in the order they fall due.
TEST(PaceQueue, OutputsOfEveryRateAndPaceInterleaveAndEachKeepsItsFrames) {
    const struct {
        int rate, pace;
        size_t packets;
    } outputs[] = {{10, 90, 6}, {40, 60, 10}, {60, 90, 3}};
    PaceQueue queue;
    std::vector<std::int64_t> nextTick(std::size(outputs), 0);
    std::vector<int> ticks(std::size(outputs), 0);
    std::map<std::pair<int, int>, size_t> perFrame;  // packets sent per (output, frame interval)
    std::int64_t lastAt = -1;
    for (;;) {
        const size_t o = static_cast<size_t>(std::min_element(nextTick.begin(), nextTick.end()) - nextTick.begin());
        const std::optional<PaceQueue::Packet> p = queue.Next();
        if (p && p->atNs <= nextTick[o]) {
            EXPECT_GE(p->atNs, lastAt) << "in the order they fall due";
            lastAt = p->atNs;
            // Ticks fall on whole nanoseconds rounded down: the frame interval the packet is in.
            const int rate = outputs[p->output].rate;
            const int period = static_cast<int>((p->atNs * rate + rate) / kSecond);
            ++perFrame[{p->output, period}];
            const std::int64_t tick = kSecond * period / outputs[p->output].rate;
            EXPECT_LE(p->atNs - tick, kSecond / outputs[p->output].rate * outputs[p->output].pace / 100);
            const auto done = queue.Sent(*p, 0);
            if (done) EXPECT_EQ(done->packets, outputs[done->output].packets);
            continue;
        }
        if (nextTick[o] >= kSecond) break;
        const std::int64_t span = kSecond / outputs[o].rate * outputs[o].pace / 100;
        const int slot = queue.Sending(static_cast<int>(o)) == 0 ? 1 : 0;
        EXPECT_TRUE(queue.Submit(static_cast<int>(o), slot, outputs[o].packets, nextTick[o], span)) << "nothing skipped";
        nextTick[o] = kSecond * ++ticks[o] / outputs[o].rate;
    }
    EXPECT_TRUE(queue.Empty());
    for (size_t o = 0; o < std::size(outputs); ++o) {
        EXPECT_EQ(ticks[o], outputs[o].rate);
        for (int k = 0; k < outputs[o].rate; ++k)
            EXPECT_EQ((perFrame[{static_cast<int>(o), k}]), outputs[o].packets) << "output " << o << " frame " << k;
    }
}

// A frame that comes while the one before is still going out waits in the other buffer; a
// newer one takes its place, and the waiting frame starts where the one before ended.
TEST(PaceQueue, ANewerFrameReplacesTheWaitingOneAndStartsAfterTheFrameGoingOut) {
    PaceQueue queue;
    EXPECT_TRUE(queue.Submit(0, 0, 2, 0, 100));
    EXPECT_EQ(queue.Sending(0), 0);
    EXPECT_TRUE(queue.Submit(0, 1, 2, 10, 100));
    EXPECT_FALSE(queue.Submit(0, 1, 2, 20, 100)) << "the waiting frame was replaced";
    EXPECT_TRUE(queue.Withdraw(0));
    EXPECT_FALSE(queue.Withdraw(0));
    EXPECT_TRUE(queue.Submit(0, 1, 2, 30, 100));

    auto p = queue.Next();
    ASSERT_TRUE(p);
    EXPECT_FALSE(queue.Sent(*p, 0));
    p = queue.Next();
    EXPECT_EQ(p->atNs, 50);
    const auto done = queue.Sent(*p, 111);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->error, 111) << "the first error of the frame";
    EXPECT_EQ(done->slot, 0);
    EXPECT_EQ(queue.Sending(0), 1);
    p = queue.Next();
    EXPECT_EQ(p->slot, 1);
    EXPECT_EQ(p->atNs, 100) << "from the end of the frame before";
    queue.Sent(*p, 0);
    EXPECT_TRUE(queue.Sent(*queue.Next(), 0));
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Sending(0), -1);
}

}  // namespace
}  // namespace zl
