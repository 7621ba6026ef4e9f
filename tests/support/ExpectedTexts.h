// What callers see, written out independently of the board's own constants,
// so a test compares the board against the texts themselves.
#pragma once

#include <string>
#include <vector>

namespace expected {

using Lines = std::vector<std::string>;

inline const std::string kRule = std::string(15, ' ') + std::string(64, '_');
inline const std::string kHeading = " Handle name   " + std::string(64, '=');
inline const std::string kClosing = std::string(14, '-') + " " + std::string(64, '=');
inline const std::string kBusy = "他のチャンネルで閲覧中";
inline const std::string kRecentTitle = "最近のアクセス者たち、落ちる前のぽれすく・・・";
inline const std::string kInvitation = "2行以内でメッセージをどうぞ。[ret]のみで登録を終えます。";
inline const std::string kNoMessage = "               No message found...";
inline const std::string kListPrompt = "PORR: 日付指定([Ret]:前回のLogin以降) >";

// The listing's title for a since key.
inline std::string ListTitle(const std::string& key) { return key + " 以降のぽれすく・・・"; }

// The handle padded (or cut) to 14 bytes, then ">".
inline std::string Prefix(const std::string& handle) {
    return (handle + std::string(14, ' ')).substr(0, 14) + ">";
}

}  // namespace expected
