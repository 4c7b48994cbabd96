#include "output/pacequeue.h"

#include <algorithm>

namespace zl {

PaceQueue::Job* PaceQueue::Find(int output) {
    for (Job& j : jobs_)
        if (j.output == output) return &j;
    return nullptr;
}

const PaceQueue::Job* PaceQueue::Find(int output) const { return const_cast<PaceQueue*>(this)->Find(output); }

bool PaceQueue::Submit(int output, int slot, size_t count, std::int64_t nowNs, std::int64_t spanNs) {
    const Frame frame{slot, count, nowNs, spanNs};
    Job* job = Find(output);
    if (!job) {
        jobs_.push_back({output, frame, std::nullopt});
        return true;
    }
    const bool replaced = job->waiting.has_value();
    job->waiting = frame;
    job->waitingSubmitNs = nowNs;
    return !replaced;
}

bool PaceQueue::Withdraw(int output) {
    Job* job = Find(output);
    if (!job || !job->waiting) return false;
    job->waiting.reset();
    return true;
}

int PaceQueue::Sending(int output) const {
    const Job* job = Find(output);
    return job && job->going ? job->going->slot : -1;
}

std::optional<PaceQueue::Packet> PaceQueue::Next() const {
    std::optional<Packet> first;
    for (const Job& j : jobs_) {
        const Frame& f = *j.going;
        const std::int64_t at = f.At(f.next);
        // Ties go to the output handed over first, so the order never depends on the sender.
        if (!first || at < first->atNs) first = Packet{j.output, f.slot, f.next, at};
    }
    return first;
}

std::optional<PaceQueue::Finished> PaceQueue::Sent(const Packet& packet, int error) {
    Job* job = Find(packet.output);
    if (!job || job->going->next != packet.index) return std::nullopt;
    Frame& f = *job->going;
    if (error != 0 && f.error == 0) f.error = error;
    if (++f.next < f.count) return std::nullopt;
    const Finished done{job->output, f.slot, f.count, f.error};
    if (job->waiting) {
        // The waiting frame starts where the one before it ended, never before it was handed over.
        Frame next = *job->waiting;
        next.startNs = std::max(job->waitingSubmitNs, f.startNs + f.spanNs);
        job->going = next;
        job->waiting.reset();
    } else {
        jobs_.erase(jobs_.begin() + (job - jobs_.data()));
    }
    return done;
}

}  // namespace zl
