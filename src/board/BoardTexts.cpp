#include "board/BoardTexts.h"

namespace board {

const std::string_view kRuleRow =
    "               ________________________________________________________________";
const std::string_view kHeadingRow =
    " Handle name   ================================================================";
const std::string_view kClosingRow =
    "-------------- ================================================================";
const std::string_view kBusyNotice = "他のチャンネルで閲覧中";

}  // namespace board
