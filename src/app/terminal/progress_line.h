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

// Where nothing is redrawn, a download's progress is a plain line at each
// quarter: the line for a quarter newly reached ("sim-1: 50%", "50%" without
// an id), or empty. quartersShown keeps the last one said.
std::string QuarterLine(const std::string& id, const Progress& progress, int& quartersShown);

// The terminal's new size, once its window has changed since the last call
// (columns and rows filled in); false otherwise. Each system's console gives
// one (console.h).
using SizeCheck = bool (*)(int& columns, int& rows);

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
// together in place, at most ten times a second, never wider than the window
// nor taller: the devices that do not fit are counted on a last line. The
// board takes a new window size when it next draws. Elsewhere each change
// that matters is a plain line of its own: a new state, and every quarter of
// a download.
class ProgressBoard {
public:
    // How a line's text stands out where colour is used: a unit passed, failed.
    enum class Tone { Plain, Good, Bad };

    using Clock = ProgressLine::Clock;

    ProgressBoard(TerminalOutput& output, Language language, int columns, int rows, bool redraw,
                  SizeCheck resized = nullptr,
                  std::function<Clock::time_point()> now = Clock::now);

    int AddLine(const std::string& id);
    void SetText(int line, const std::string& utf8Text, Tone tone = Tone::Plain);
    // Colour for the tones; only where the board is redrawn on a terminal.
    void UseColour(bool colour) { colour_ = colour; }
    // A first line above the devices' (a bench's counters); drawn only where
    // the board is redrawn: elsewhere it would repeat itself.
    void SetHeader(const std::string& utf8Text);
    // A message while the board stands: said above it, the board drawn again
    // below, so that neither overwrites the other.
    void Tell(const std::string& utf8Line);
    void SetProgress(int line, const Progress& progress);
    // Drawn afresh if the window has changed size: while no device has news.
    void Refresh();
    void Finish();  // the last state of every line, drawn once more
    int Draws() const { return draws_; }

private:
    struct Line {
        std::string id;
        std::string text;
        bool hasProgress = false;
        Progress progress;
        int quartersShown = 0;
        Tone tone = Tone::Plain;
    };
    std::string Render(const Line& line) const;
    std::string FrameLocked(bool resized) const;
    void DrawLocked(bool force);
    void PutFrameLocked(bool resized);

    TerminalOutput& output_;
    Language language_;
    int columns_;
    int rows_;
    bool redraw_;
    SizeCheck resized_;
    std::function<Clock::time_point()> now_;
    std::mutex lock_;
    std::vector<Line> lines_;
    std::string header_;
    bool colour_ = false;
    std::size_t drawnLines_ = 0;  // on the screen, the count of the others included
    std::size_t linesKnown_ = 0;  // devices on the board when it was last drawn
    Clock::time_point lastDraw_{};
    int draws_ = 0;
};

}  // namespace fwup
