#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zl {

// The paced frames of every output and the order their packets go out in: packet i of a frame
// of n spread over a span is due at start + span * i / n, and the packet due first goes first
// whichever output it belongs to, so one output's spreading never delays another's. Each
// output has at most one frame going out and one waiting behind it (its double buffer); a newer
// frame replaces the waiting one. Not thread-safe: the sender guards it.
class PaceQueue {
public:
    struct Packet {
        int output;
        int slot;        // which of the output's two buffers the frame is in
        size_t index;    // the packet's place in its frame
        std::int64_t atNs;
    };
    // A frame whose last packet went.
    struct Finished {
        int output;
        int slot;
        size_t packets;
        int error;  // the first a packet of it gave, 0 for none
    };

    // Hands over a frame of `count` (> 0) packets in `slot` to be spread over `spanNs` from `nowNs`,
    // or from the end of the frame going out if it ends later. False when the output already had
    // a frame waiting: that one is dropped for this one (a skipped frame).
    bool Submit(int output, int slot, size_t count, std::int64_t nowNs, std::int64_t spanNs);
    // Takes back the output's waiting frame, if any: true when there was one (skipped).
    bool Withdraw(int output);
    // The slot of the frame going out, -1 when none.
    int Sending(int output) const;
    // The packet due first, kept in hand until Sent: its frame's buffer stays the sender's.
    std::optional<Packet> Next() const;
    // The packet Next gave went out with `error` (0 for none); the frame it ends, if it does.
    std::optional<Finished> Sent(const Packet& packet, int error);
    bool Empty() const { return jobs_.empty(); }

private:
    struct Frame {
        int slot;
        size_t count;
        std::int64_t startNs;
        std::int64_t spanNs;
        size_t next = 0;
        int error = 0;
        std::int64_t At(size_t i) const {
            return startNs + spanNs * static_cast<std::int64_t>(i) / static_cast<std::int64_t>(count);
        }
    };
    struct Job {
        int output;
        std::optional<Frame> going;
        std::optional<Frame> waiting;
        std::int64_t waitingSubmitNs = 0;
    };
    Job* Find(int output);
    const Job* Find(int output) const;
    std::vector<Job> jobs_;
};

}  // namespace zl
