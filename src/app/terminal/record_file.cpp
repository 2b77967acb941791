#include "app/terminal/record_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_map>

namespace fwup {
namespace {

std::FILE* OpenWith(FileOpener open, const std::string& path, const char* mode) {
    return open != nullptr ? open(path, mode) : std::fopen(path.c_str(), mode);
}

bool Blank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// What a power cut can leave where a write had not reached the disk.
bool Zeros(std::string_view line) {
    return line.find_first_not_of(std::string_view("\0", 1)) == std::string_view::npos;
}

// How every line of ours begins; a line cut short keeps a start of it.
constexpr std::string_view kLineOpening = R"({"schema":"firmware-updater-unit/1")";

bool BeginsAsOurs(std::string_view line) {
    const std::size_t common = std::min(line.size(), kLineOpening.size());
    return line.substr(0, common) == kLineOpening.substr(0, common);
}

// Whether a file whose first line that is not blank is this one is ours: a
// line of ours, whole or cut short; not another program's object, nor text.
bool FirstLineIsOurs(std::string_view line) {
    switch (ReadRecordLine(line).kind) {
    case RecordLineRead::Start:
    case RecordLineRead::End: return true;
    case RecordLineRead::Foreign: return false;
    case RecordLineRead::Cut: return BeginsAsOurs(line) || Zeros(line);
    }
    return false;
}

// Hands take each line of the file, without its line end, until take
// returns false; false when the file could not be read. A line at a time,
// so that a long record is never held whole.
template <typename Take>
bool ForEachLine(std::FILE* file, Take take) {
    std::string line;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        for (std::size_t at = 0; at < got;) {
            const void* found = std::memchr(chunk + at, '\n', got - at);
            const std::size_t stop =
                found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - chunk)
                                 : got;
            line.append(chunk + at, stop - at);
            at = stop;
            if (found == nullptr) break;
            ++at;
            if (!take(line)) return true;
            line.clear();
        }
    }
    if (std::ferror(file) != 0) return false;
    if (!line.empty()) take(line);
    return true;
}

// What Open needs to know of a file: its first line that is not blank, and
// whether it ends inside a line.
struct FileShape {
    std::string firstLine;
    bool endsInsideLine = false;
};

FileShape ShapeOf(std::FILE* file) {
    FileShape shape;
    ForEachLine(file, [&shape](const std::string& line) {
        if (Blank(line)) return true;
        shape.firstLine = line;
        return false;
    });
    if (std::fseek(file, -1, SEEK_END) == 0) {
        const int last = std::fgetc(file);
        shape.endsInsideLine = last != EOF && last != '\n';
    }
    return shape;
}

}  // namespace

RecordFile::~RecordFile() {
    if (file_ != nullptr) std::fclose(file_);
}

RecordFileStatus RecordFile::Open(const std::string& path, FileOpener open, FileSync sync) {
    const std::filesystem::path where(std::u8string(path.begin(), path.end()));
    std::error_code ignored;  // a folder not made shows as the file not opened
    if (where.has_parent_path()) std::filesystem::create_directories(where.parent_path(), ignored);
    FileShape shape;
    if (std::FILE* existing = OpenWith(open, path, "rb")) {
        shape = ShapeOf(existing);
        std::fclose(existing);
    }
    if (!shape.firstLine.empty() && !FirstLineIsOurs(shape.firstLine))
        return RecordFileStatus::NotOurs;
    std::FILE* file = OpenWith(open, path, "ab");
    if (file == nullptr) return RecordFileStatus::CannotOpen;
    const std::lock_guard<std::mutex> hold(lock_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = file;
    sync_ = sync;
    lineOpen_ = shape.endsInsideLine;
    openedOnCutLine_ = shape.endsInsideLine;
    return RecordFileStatus::Opened;
}

bool RecordFile::Append(const UnitRecord& record) {
    std::string text = RecordLine(record);
    text.push_back('\n');
    const std::lock_guard<std::mutex> hold(lock_);
    if (file_ == nullptr) return false;
    if (lineOpen_) text.insert(text.begin(), '\n');
    const bool written = std::fwrite(text.data(), 1, text.size(), file_) == text.size() &&
                         std::fflush(file_) == 0 && (sync_ == nullptr || sync_(file_));
    // After a failed write the file may end anywhere: the next line begins
    // on a line of its own (a blank line is skipped when read).
    lineOpen_ = !written;
    return written;
}

RecordContents ReadRecordFile(const std::string& path, FileOpener open) {
    RecordContents contents;
    std::FILE* file = OpenWith(open, path, "rb");
    if (file == nullptr) return contents;
    std::unordered_map<std::string, std::size_t> started;  // unit -> its place in units
    bool firstSeen = false;
    std::size_t number = 0;
    contents.opened = ForEachLine(file, [&](const std::string& line) {
        ++number;
        if (Blank(line)) return true;
        if (!firstSeen && !FirstLineIsOurs(line)) {
            contents.foreign = true;
            return false;
        }
        firstSeen = true;
        RecordLineRead read = ReadRecordLine(line);
        if (read.kind == RecordLineRead::Start) {
            started[read.record.unit] = contents.units.size();
            contents.units.push_back(std::move(read.record));
        } else if (read.kind == RecordLineRead::End) {
            const auto found = started.find(read.record.unit);
            if (found != started.end()) {
                contents.units[found->second] = std::move(read.record);
                started.erase(found);
            } else {
                contents.units.push_back(std::move(read.record));
            }
        } else {
            contents.cutLines.push_back(number);
        }
        return true;
    });
    std::fclose(file);
    if (!contents.opened) return RecordContents{};
    return contents;
}

}  // namespace fwup
