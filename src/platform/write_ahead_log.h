// A look at an SQLite write-ahead log ("<store>-wal") before the store is opened. SQLite replays
// a log's frames up to the first one that is not intact and silently drops the rest, committed
// transactions included; a log damaged in the middle would make a store open without the last
// writes (cleaning records among them) and say nothing. This check finds such a log first.
#pragma once

#include <string>

#include "base/result.h"

namespace zarnik {

enum class WriteAheadLogState {
  absentOrEmpty,
  intact,   // every committed transaction can be replayed (an unfinished last one may be cut off)
  damaged,  // a committed transaction lies behind a frame that cannot be read, or the header is
            // broken
};

// Reads the log at `walPath` frame by frame; an error when it exists but cannot be read.
[[nodiscard]] Result<WriteAheadLogState> checkWriteAheadLog(const std::string& walPath);

}  // namespace zarnik
