#include "app/terminal/device_run.h"

namespace fwup {
namespace {

OutcomeKind KindOfOne(const Listed&) { return OutcomeKind::Listed; }
OutcomeKind KindOfOne(const RunResult& run) { return KindOf(run); }
template <typename Result>
OutcomeKind KindOfOne(const Result& result) { return result.kind; }

}  // namespace

OutcomeKind KindOf(const RunResult& run) {
    if (run.confirm) {
        const Confirmation how = run.confirm->how;
        if (how == Confirmation::Interrupted) return OutcomeKind::Interrupted;
        // Back and read where no version was known to compare: updated, no more.
        if (how == Confirmation::NotCompared) return OutcomeKind::Updated;
        return how == Confirmation::Confirmed ? OutcomeKind::Confirmed : OutcomeKind::NotConfirmed;
    }
    if (run.update) return run.update->kind;
    if (run.clear && run.clear->kind != OutcomeKind::Erased) return run.clear->kind;
    if (run.replug == Replug::Interrupted) return OutcomeKind::Interrupted;
    return OutcomeKind::ErasedNotUpdated;
}

OutcomeKind KindOf(const CommandResult& result) {
    return std::visit([](const auto& one) { return KindOfOne(one); }, result);
}

}  // namespace fwup
