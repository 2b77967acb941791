#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/terminal/terminal_output.h"
#include "app/terminal/terminal_texts.h"
#include "core/progress.h"

namespace fwup {

// The line for a state of a download: bar, percentage and bytes, in UTF-8;
// never wider than the terminal's columns less one. Only the device's
// accepted bytes count, so a failed download never shows more than it took.
std::string RenderProgress(const Progress& progress, Language language, int columns);

// A download's progress on a terminal: one line on standard error, redrawn
// in place at most ten times a second, whose final state is always drawn.
// It is written through the terminal's output, in its character set.
class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

    ProgressLine(TerminalOutput& output, Language language, int columns,
                 std::function<Clock::time_point()> now = Clock::now);

    void Update(const Progress& progress);  // the first update draws at once
    void Finish();                          // draws the last state and ends the line
    bool Active() const { return active_; }
    int Draws() const { return draws_; }

private:
    void Draw();

    TerminalOutput& output_;
    Language language_;
    int columns_;
    std::function<Clock::time_point()> now_;
    Progress last_;
    Clock::time_point lastDraw_{};
    bool active_ = false;
    int draws_ = 0;
};

// Several devices at once, a line each. On a terminal the lines are redrawn
// together in place, at most ten times a second; elsewhere each change that
// matters is a plain line of its own: a new state, and every quarter of a
// download.
class ProgressBoard {
public:
    using Clock = ProgressLine::Clock;

    ProgressBoard(TerminalOutput& output, Language language, int columns, bool redraw,
                  std::function<Clock::time_point()> now = Clock::now);

    int AddLine(const std::string& id);
    void SetText(int line, const std::string& utf8Text);
    void SetProgress(int line, const Progress& progress);
    void Finish();  // the last state of every line, drawn once more
    int Draws() const { return draws_; }

private:
    struct Line {
        std::string id;
        std::string text;
        bool hasProgress = false;
        Progress progress;
        int quartersShown = 0;
    };
    std::string Render(const Line& line) const;
    void DrawLocked(bool force);

    TerminalOutput& output_;
    Language language_;
    int columns_;
    bool redraw_;
    std::function<Clock::time_point()> now_;
    std::mutex lock_;
    std::vector<Line> lines_;
    std::size_t drawnLines_ = 0;
    Clock::time_point lastDraw_{};
    int draws_ = 0;
};

}  // namespace fwup
