// The member file: the host's list of members, one a line, in UTF-8.
//
//   ID | handle | level | last login
//   SYSOP | ぽれすく管理人 | 5 | 2024/04/01 21:30:00
//
// Fields are separated by '|' and trimmed of spaces and tabs. The ID is 1 to
// 8 printable ASCII characters; the handle is any UTF-8 text that CP932 can
// spell; the level is a whole number; the last login is local time as
// YYYY/MM/DD hh:mm:ss, or "-" for never. Lines starting with '#' and blank
// lines are kept as they are when the file is written back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "HostSystem.h"

struct Member {
    std::string id;           // ASCII: the same bytes in UTF-8 and CP932
    std::string handle;       // UTF-8, as in the file
    std::string handleCp932;  // what the board gets
    std::int32_t level = 0;
    double lastLogin = 0;     // days since 1899-12-30; 0 for never
    bool never = true;
};

class MemberFile {
public:
    // Reads the file at `path`; errors name it as `shownName` (and the line).
    // Throws HostError.
    MemberFile(std::string path, std::string shownName);

    // The member's index, or -1.
    int Find(std::string_view id) const;
    const Member& at(int index) const { return members_[static_cast<std::size_t>(index)]; }
    int size() const { return static_cast<int>(members_.size()); }
    const std::string& shownName() const { return shownName_; }

    // Stores `when` as the member's last login and writes the file back.
    // Throws HostError when the file cannot be written; memory keeps the new value.
    void StoreLastLogin(int index, const host_system::LocalStamp& when);

private:
    struct Line {
        std::string text;    // without its ending
        std::string ending;  // "\n", "\r\n" or "" (the last line)
        int member = -1;
        std::size_t lastLoginAt = 0;  // where the last-login field starts in `text`
        std::size_t lastLoginLength = 0;
    };

    void Parse(const std::string& content);
    void ParseMember(Line& line, std::size_t number);
    void Write() const;

    std::string path_;
    std::string shownName_;
    std::string bom_;
    std::vector<Line> lines_;
    std::vector<Member> members_;
    std::vector<std::size_t> memberLines_;  // line index of each member
};

// "YYYY/MM/DD hh:mm:ss" of a local time.
std::string FormatStamp(const host_system::LocalStamp& when);
// The same for a date-time value ("?" when it is out of range).
std::string FormatDateTime(double value);
// The date-time value of a local time.
double ToDateTimeValue(const host_system::LocalStamp& when);
