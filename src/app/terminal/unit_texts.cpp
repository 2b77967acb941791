#include "app/terminal/unit_texts.h"

#include <array>

namespace fwup {
namespace {

// In the order of UnitOutcome.
constexpr std::array<TerminalText, 11> kOutcomeTexts{{
    {"unfinished", "未完成"},
    {"confirmed", "已确认"},
    {"up to date", "已是最新"},
    {"not compared", "未比对"},
    {"wrong version", "版本不符"},
    {"did not start", "固件未启动"},
    {"written, not confirmed", "已写入，未确认"},
    {"erased, not written", "已清除，未写入"},
    {"failed", "失败"},
    {"refused", "被拒绝"},
    {"interrupted", "已中断"},
}};
static_assert(static_cast<std::size_t>(UnitOutcome::Interrupted) + 1 == kOutcomeTexts.size());

}  // namespace

const TerminalText& UnitOutcomeText(UnitOutcome outcome) {
    return kOutcomeTexts[static_cast<std::size_t>(outcome)];
}

}  // namespace fwup
