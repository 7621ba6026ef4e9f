#include "MemberFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "HostError.h"
#include "HostDates.h"

namespace {

constexpr std::size_t kIdRoom = 8;
constexpr char kSeparator = '|';

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exactly "YYYY/MM/DD hh:mm:ss".
bool ReadStamp(std::string_view text, host_system::LocalStamp& when) {
    static constexpr std::string_view kShape = "0000/00/00 00:00:00";
    if (text.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == '0' ? !IsDigit(text[i]) : text[i] != kShape[i]) return false;
    }
    auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    when = {number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
    return host_dates::IsRealDate(when.year, when.month, when.day) && when.hour < 24 && when.minute < 60 &&
           when.second < 60;
}

bool ReadLevel(std::string_view text, std::int32_t& level) {
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 10) return false;
    long long value = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    level = static_cast<std::int32_t>(value);
    return true;
}

}  // namespace

std::string FormatStamp(const host_system::LocalStamp& when) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", when.year, when.month, when.day, when.hour,
                  when.minute, when.second);
    return text;
}

std::string FormatDateTime(double value) {
    const auto moment = host_dates::FromValue(value);
    return moment ? FormatStamp(*moment) : "?";
}

double ToDateTimeValue(const host_system::LocalStamp& when) { return host_dates::ToValue(when); }

MemberFile::MemberFile(std::string path, std::string shownName)
    : path_(std::move(path)), shownName_(std::move(shownName)) {
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr) throw HostError(shownName_ + ": cannot open the member file: " + std::strerror(errno));
    std::string content;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
    std::fclose(file);
    Parse(content);
}

void MemberFile::Parse(const std::string& content) {
    std::string_view rest = content;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
        bom_ = rest.substr(0, 3);
        rest.remove_prefix(3);
    }
    while (!rest.empty()) {
        Line line;
        const std::size_t end = rest.find('\n');
        std::string_view text = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        line.ending = end == std::string_view::npos ? "" : "\n";
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            line.ending = "\r" + line.ending;
        }
        line.text = text;
        lines_.push_back(std::move(line));
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) ParseMember(lines_[i], i + 1);
}

void MemberFile::ParseMember(Line& line, std::size_t number) {
    const std::string_view text = line.text;
    const std::string_view content = Trim(text);
    if (content.empty() || content.front() == '#') return;

    auto fail = [&](const std::string& what) {
        throw HostError(shownName_ + ":" + std::to_string(number) + ": " + what);
    };

    // Split at the separators; each field stays a view into the line.
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t bar = text.find(kSeparator, start);
        fields.push_back(Trim(text.substr(start, bar == std::string_view::npos ? bar : bar - start)));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    if (fields.size() != 4) {
        fail("expected 4 fields separated by '|' (ID | handle | level | last login), found " +
             std::to_string(fields.size()));
    }

    Member member;
    const std::string_view id = fields[0];
    if (id.empty() || id.size() > kIdRoom) fail("the ID must be 1 to 8 characters: '" + std::string(id) + "'");
    for (char c : id) {
        if (c <= ' ' || c > '~') fail("the ID must be printable ASCII without blanks: '" + std::string(id) + "'");
    }
    if (Find(id) >= 0) {
        fail("the ID '" + std::string(id) + "' is already on line " +
             std::to_string(memberLines_[static_cast<std::size_t>(Find(id))] + 1));
    }
    member.id = id;

    member.handle = fields[1];
    if (member.handle.empty()) fail("the handle is empty");
    if (!host_system::Utf8ToCp932(member.handle, member.handleCp932)) {
        fail("the handle is no UTF-8 text that CP932 can spell: '" + member.handle + "'");
    }

    if (!ReadLevel(fields[2], member.level)) fail("the level is no whole number: '" + std::string(fields[2]) + "'");

    const std::string_view stamp = fields[3];
    if (stamp != "-") {
        host_system::LocalStamp when{};
        if (!ReadStamp(stamp, when)) {
            fail("the last login is no date and time YYYY/MM/DD hh:mm:ss (or - for never): '" +
                 std::string(stamp) + "'");
        }
        member.lastLogin = ToDateTimeValue(when);
        member.never = false;
    }

    line.member = static_cast<int>(members_.size());
    line.lastLoginAt = static_cast<std::size_t>(stamp.data() - text.data());
    line.lastLoginLength = stamp.size();
    members_.push_back(std::move(member));
    memberLines_.push_back(number - 1);
}

int MemberFile::Find(std::string_view id) const {
    for (std::size_t i = 0; i < members_.size(); ++i) {
        if (members_[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

void MemberFile::StoreLastLogin(int index, const host_system::LocalStamp& when) {
    Member& member = members_[static_cast<std::size_t>(index)];
    member.lastLogin = ToDateTimeValue(when);
    member.never = false;
    Line& line = lines_[memberLines_[static_cast<std::size_t>(index)]];
    const std::string text = FormatStamp(when);
    line.text.replace(line.lastLoginAt, line.lastLoginLength, text);
    line.lastLoginLength = text.size();
    Write();
}

// A new file beside the old one, then put in its place: a failed write never
// leaves half a member file behind.
void MemberFile::Write() const {
    const std::string temporary = path_ + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        throw HostError(shownName_ + ": cannot write the member file: " + std::strerror(errno));
    }
    std::string content = bom_;
    for (const Line& line : lines_) content += line.text + line.ending;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const bool closed = std::fclose(file) == 0;
    std::string error = "the disk refused it";
    if (!written || !closed || !host_system::MoveIntoPlace(temporary, path_, error)) {
        std::remove(temporary.c_str());
        throw HostError(shownName_ + ": cannot write the member file: " + error);
    }
}
