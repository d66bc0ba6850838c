#include "ledger/store/rejection_log.h"

#include <utility>

#include "protocol/utf8_text.h"

namespace station::ledger {

RejectionLog::RejectionLog(EventLoop& loop, LogSink log, HealthBoard* health)
    : loop_(loop), log_(std::move(log)), health_(health) {
    if (health_) {
        health_->Update([](LedgerHealth& board) {
            for (const RejectKind kind : kRejectKinds) {
                board.rejected.try_emplace(RejectKindName(kind), 0);
            }
        });
    }
}

RejectedRow RejectionLog::Rejected(const Rejection& rejection, const std::string& topic,
                                   const std::string& payload, std::string received) {
    std::string reason = RejectKindName(rejection.kind);
    if (!rejection.detail.empty()) {
        reason += ": " + rejection.detail;
    }
    OfKind& of_kind = kinds_.try_emplace(rejection.kind).first->second;
    ++of_kind.count;
    if (of_kind.said.Due(loop_.Now())) {
        log_("rejected (" + std::to_string(of_kind.count) + " so far of this kind): " + reason +
             ", on " + protocol::ShownBytes(topic, 200));
    }
    if (health_) {
        health_->Update([kind = rejection.kind](LedgerHealth& board) {
            ++board.rejected[RejectKindName(kind)];
        });
    }
    return {protocol::ShownBytes(topic), protocol::ShownBytes(payload), std::move(reason),
            std::move(received), RejectKindName(rejection.kind)};
}

}  // namespace station::ledger
