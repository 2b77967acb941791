#include "app/terminal/progress_line.h"

#include <algorithm>
#include <climits>

#include "app/terminal/text_format.h"

namespace fwup {
namespace {

constexpr int kShortestBar = 10;
constexpr int kLongestBar = 40;

}  // namespace

std::string RenderProgress(const Progress& progress, Language language, int columns) {
    const std::uint64_t total = progress.total;
    const std::uint64_t done = std::min(progress.done, total);
    const int percent = total == 0 ? 0 : static_cast<int>(done * 100 / total);
    char counts[96] = {};
    std::snprintf(counts, sizeof counts, Say(kProgressCounts, language),
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total));
    char percentage[8] = {};
    std::snprintf(percentage, sizeof percentage, "%3d%%", percent);
    const std::string tail = std::string(" ") + percentage + " " + counts;
    // The bar takes what the counts leave, so that the line never wraps; on
    // a terminal too narrow for a bar, the figures alone.
    const int width = std::min(columns - 1 - 2 - DisplayWidth(tail), kLongestBar);
    if (width < kShortestBar)
        return DisplayWidth(tail) < columns ? tail.substr(1) : std::string(percentage);
    const int filled =
        total == 0 ? 0 : static_cast<int>(done * static_cast<std::uint64_t>(width) / total);
    std::string bar = "[";
    return bar.append(static_cast<std::size_t>(filled), '#')
        .append(static_cast<std::size_t>(width - filled), '.')
        .append("]")
        .append(tail);
}

std::string QuarterLine(const std::string& id, const Progress& progress, int& quartersShown) {
    const std::uint64_t done = std::min(progress.done, progress.total);
    const int quarters = progress.total == 0 ? 0 : static_cast<int>(done * 4 / progress.total);
    if (quarters <= quartersShown) return {};
    quartersShown = quarters;
    return (id.empty() ? "" : id + ": ") + std::to_string(quarters * 25) + "%";
}

ProgressLine::ProgressLine(TerminalOutput& output, Language language, int columns,
                           std::function<Clock::time_point()> now)
    : output_(output), language_(language), columns_(columns), now_(std::move(now)) {}

void ProgressLine::Draw() {
    // Back to the start of the line, the bar, and the rest of the line cleared.
    std::string line = "\r";
    output_.Raw(line.append(RenderProgress(last_, language_, columns_)).append("\x1b[K"));
    lastDraw_ = now_();
    ++draws_;
}

void ProgressLine::Update(const Progress& progress) {
    last_ = progress;
    if (active_ && now_() - lastDraw_ < kRedrawInterval) return;
    active_ = true;
    Draw();
}

void ProgressLine::Finish() {
    if (!active_) return;
    Draw();
    output_.Raw("\n");
    active_ = false;
}

ProgressBoard::ProgressBoard(TerminalOutput& output, Language language, int columns, int rows,
                             bool redraw, SizeCheck resized,
                             std::function<Clock::time_point()> now)
    : output_(output), language_(language), columns_(columns), rows_(rows), redraw_(redraw),
      resized_(resized), now_(std::move(now)) {}

int ProgressBoard::AddLine(const std::string& id) {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.push_back(Line{id, {}, false, {}, 0, Tone::Plain});
    return static_cast<int>(lines_.size()) - 1;
}

std::string ProgressBoard::Render(const Line& line) const {
    const std::string head = line.id + " ";
    if (!line.hasProgress) {
        const std::string text = head + line.text;
        const std::string fitted = text.substr(0, FitToWidth(text, columns_ - 1).bytes);
        if (!colour_ || line.tone == Tone::Plain || fitted.size() <= head.size()) return fitted;
        // Only the text takes the colour; the width was measured without it.
        const char* colour = line.tone == Tone::Good ? "\x1b[32m" : "\x1b[31m";
        return head + colour + fitted.substr(head.size()) + "\x1b[0m";
    }
    const int room = columns_ - DisplayWidth(head);
    return head + RenderProgress(line.progress, language_, room);
}

// Back up over the lines drawn before, then the lines that fit in the window
// below the ones left standing, and whatever stood below them cleared. A
// window that changed size may have wrapped the old lines anew: the board
// then starts again on a cleared window.
std::string ProgressBoard::FrameLocked(bool resized) const {
    std::string frame;
    if (resized) frame += "\x1b[H\x1b[J";
    else if (drawnLines_ > 0) frame += "\x1b[" + std::to_string(drawnLines_) + "A";
    std::size_t room = static_cast<std::size_t>(std::max(rows_ - 1, 1));
    if (!header_.empty() && room > 1) {
        frame.append("\r").append(header_, 0, FitToWidth(header_, columns_ - 1).bytes).append("\x1b[K\n");
        --room;
    }
    const std::size_t shown = lines_.size() <= room ? lines_.size() : room - 1;
    for (std::size_t i = 0; i < shown; ++i) frame.append("\r").append(Render(lines_[i])).append("\x1b[K\n");
    if (shown < lines_.size()) {
        const std::string more =
            Format(Say(kBoardMoreDevices, language_), static_cast<unsigned>(lines_.size() - shown));
        frame.append("\r").append(more, 0, FitToWidth(more, columns_ - 1).bytes).append("\x1b[K\n");
    }
    return frame + "\x1b[J";
}

void ProgressBoard::DrawLocked(bool force) {
    const bool resized = resized_ != nullptr && resized_(columns_, rows_);
    if (!force && !resized && linesKnown_ == lines_.size() &&
        now_() - lastDraw_ < ProgressLine::kRedrawInterval)
        return;
    PutFrameLocked(resized);
}

void ProgressBoard::PutFrameLocked(bool resized) {
    output_.Raw(FrameLocked(resized));
    const std::size_t room = static_cast<std::size_t>(std::max(rows_ - 1, 1));
    const std::size_t header = !header_.empty() && room > 1 ? 1 : 0;
    drawnLines_ = header + std::min(lines_.size(), room - header);
    linesKnown_ = lines_.size();
    lastDraw_ = now_();
    ++draws_;
}

void ProgressBoard::Tell(const std::string& utf8Line) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!redraw_ || drawnLines_ == 0) {
        output_.Message(utf8Line);
        return;
    }
    output_.Raw("\x1b[" + std::to_string(drawnLines_) + "A\r\x1b[J");
    output_.Message(utf8Line);
    drawnLines_ = 0;
    PutFrameLocked(false);
}

void ProgressBoard::SetHeader(const std::string& utf8Text) {
    std::lock_guard<std::mutex> hold(lock_);
    if (header_ == utf8Text) return;
    header_ = utf8Text;
    if (redraw_) DrawLocked(false);
}

void ProgressBoard::SetText(int index, const std::string& utf8Text, Tone tone) {
    std::lock_guard<std::mutex> hold(lock_);
    Line& line = lines_[static_cast<std::size_t>(index)];
    line.text = utf8Text;
    line.tone = tone;
    line.hasProgress = false;
    line.quartersShown = 0;  // a bench's next download is said from its start again
    if (redraw_) DrawLocked(true);
    else output_.Message(line.id + ": " + utf8Text);
}

void ProgressBoard::SetProgress(int index, const Progress& progress) {
    std::lock_guard<std::mutex> hold(lock_);
    Line& line = lines_[static_cast<std::size_t>(index)];
    line.hasProgress = true;
    line.progress = progress;
    if (redraw_) {
        DrawLocked(false);
        return;
    }
    const std::string quarter = QuarterLine(line.id, progress, line.quartersShown);
    if (!quarter.empty()) output_.Message(quarter);
}

void ProgressBoard::Refresh() {
    std::lock_guard<std::mutex> hold(lock_);
    if (redraw_ && drawnLines_ > 0 && resized_ != nullptr && resized_(columns_, rows_))
        PutFrameLocked(true);
}

void ProgressBoard::Finish() {
    std::lock_guard<std::mutex> hold(lock_);
    if (redraw_ && !lines_.empty()) DrawLocked(true);
}

}  // namespace fwup
