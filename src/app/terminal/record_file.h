#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/terminal/front_end.h"
#include "app/terminal/unit_record.h"

namespace fwup {

enum class RecordFileStatus {
    Opened,
    NotOurs,     // another program's file: left as it is, never written
    CannotOpen,  // the folder could not be made, or the file opened for appending
};

// The units' record, open for appending: one line each, written through to
// the disk before anyone is told of it, so that a unit is never missing from
// the record once the board has shown it. Several ports' threads append.
class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Makes the folders the UTF-8 path names and opens the file for
    // appending, once it is known to be ours (or empty, or not there). A last
    // line cut short stays a line of its own: the first append begins a new
    // one. open: none is std::fopen; sync: none flushes without syncing.
    RecordFileStatus Open(const std::string& path, FileOpener open, FileSync sync);
    // The line written, flushed and synced; false when any of that failed.
    bool Append(const UnitRecord& record);
    // Whether the file, as opened, ended inside a line that a crash cut short.
    bool OpenedOnCutLine() const { return openedOnCutLine_; }

private:
    std::mutex lock_;
    std::FILE* file_ = nullptr;
    FileSync sync_ = nullptr;
    bool lineOpen_ = false;  // the file does not end with a line end
    bool openedOnCutLine_ = false;
};

// The record as read back: each unit once, its start line completed by its
// end line (a start alone is unfinished; an end alone still counts), in the
// order the units started in the file. Lines that cannot be read (cut short
// by a crash, or another program's) are skipped and listed by number from 1.
struct RecordContents {
    bool opened = false;   // false: no file there, or it could not be read
    bool foreign = false;  // another program's file: nothing read from it
    std::vector<UnitRecord> units;
    std::vector<std::size_t> cutLines;
};
RecordContents ReadRecordFile(const std::string& path, FileOpener open);

}  // namespace fwup
