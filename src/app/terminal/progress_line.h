#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/terminal/terminal_output.h"
#include "app/terminal/terminal_texts.h"
#include "core/progress.h"

namespace fwup {

// A download's progress on a terminal: one line, redrawn in place at most ten
// times a second, whose final state is always drawn. Only the device's
// accepted bytes count, so a failed download never shows more than it took.
class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

    ProgressLine(std::FILE* out, Language language, int columns,
                 std::function<Clock::time_point()> now = Clock::now);

    void Update(const Progress& progress);  // the first update draws at once
    void Finish();                          // draws the last state and ends the line
    bool Active() const { return active_; }
    int Draws() const { return draws_; }

    // The line for a state: bar, percentage and bytes; never wider than the
    // terminal's columns less one.
    std::string Render(const Progress& progress) const;

private:
    void Draw();

    std::FILE* out_;
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
