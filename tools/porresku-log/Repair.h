// repair: the log mended so that the board reads every posting in it. Every
// Ctrl-Z goes (the text behind one shows again), every line ends in CR LF
// (an LF alone or a CR alone was a line end of another editor; an
// unfinished last line is ended), and the lines that belong to no whole
// posting are taken out (the backup keeps them). The postings themselves
// keep their bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "LogFiles.h"
#include "Postings.h"

namespace porresku_log {

struct RepairCounts {
    std::int64_t ctrlZ = 0;
    std::int64_t lfEnds = 0;
    std::int64_t crEnds = 0;
    std::int64_t unfinished = 0;
    std::int64_t droppedLines = 0;
    std::int64_t postings = 0;
    bool changed() const { return ctrlZ + lfEnds + crEnds + unfinished + droppedLines != 0; }
};

// The mending as a stream: bytes in, in pieces of any size; the mended
// bytes out through `write`, and each unit taken out through `onDropped`
// (its line numbers and offsets count the old bytes as repair reads them).
class Repairer {
public:
    Repairer(ByteWriter write, std::function<void(const LogUnit&)> onDropped);
    void Feed(std::string_view bytes);
    RepairCounts Finish();

private:
    void Byte(char c);
    void EndLine(int endLength);

    ByteWriter write_;
    std::function<void(const LogUnit&)> onDropped_;
    UnitGrouper<std::function<void(const LogUnit&)>> grouper_;
    RepairCounts counts_;
    LogLine line_;
    BoundedText<LogLine::kKeptBytes> lineBytes_;
    bool lineStarted_ = false;
    bool afterCr_ = false;
    std::int64_t fed_ = 0;
    std::int64_t number_ = 0;
};

}  // namespace porresku_log
