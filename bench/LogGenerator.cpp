#include "LogGenerator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace bench {

namespace {

// Compiled with a CP932 execution charset: these literals are Shift-JIS bytes.
constexpr std::string_view kHandleWords[] = {
    "ぽれすく", "たぬき", "みかん星人", "夜更かし猫", "ＫＡＺＵ", "モデム小僧", "さくら", "電脳少年",
    "ねこまた", "ごろう", "あおい", "ＭＩＤＩ職人", "からあげ", "流れ星", "ＴＡＫＡ", "通りすがりの旅人さん",
    "sysop", "Neko", "hiro", "MASA-P", "kenji", "Yuu", "ﾎﾟﾚｽｸ", "ｶﾞﾝﾀﾞﾑ", "はやぶさ", "まっちゃん",
    "Ｚ８０使い", "しんちゃん", "ゆきだるま", "BIG-K", "おでん", "ななし",
};

constexpr std::string_view kWords[] = {
    "こんにちは", "こんばんは", "おはようございます", "また来ます", "今日は", "寒いですね", "暑いですね",
    "雨が降ってきた", "眠い", "おやすみなさい", "やっとつながった", "テレホーダイ", "の時間です", "ＲＴ",
    "オフ会", "楽しかった", "また行きたい", "新しいモデム", "買いました", "２４００bps", "９６００bps",
    "速い！", "ゲーム", "新作", "クリアした", "パソ通", "ボード", "シスオペさん", "ありがとう", "ございます",
    "ＭＩＤＩ", "ファイル", "アップしました", "ダウンロード", "してね", "よろしく", "です", "ね", "よ", "！",
    "。", "、", "w", "(^^;", "(^_^)", "^^", "...", "ｶﾞﾝﾊﾞﾚ", "ﾖﾛｼｸ", "明日は", "試験", "仕事", "休み",
    "ひさしぶり", "最近", "忙しくて", "なかなか", "来られません", "ﾁｬｯﾄ", "しましょう", "電話代が", "こわい",
    "ＰＣ－９８０１", "Ｘ６８０００", "ハードディスク", "４０ＭＢ", "増設", "ＢＡＳＩＣ", "Ｃ言語", "勉強中",
    "ぽれすく", "書いてみた", "テスト", "初カキコ", "です。", "よろしくお願いします", "夜更かし", "朝まで",
    "今から寝ます", "ｵﾔｽﾐ", "ただいま", "おかえり", "Hello", "test", "see you", "あけおめ", "ことよろ",
    "桜", "花見", "海", "花火", "紅葉", "雪", "ラーメン", "食べたい", "お腹すいた", "♪", "～", " ",
};

constexpr std::string_view kJoiner = "／";

// What the board keeps of a text: a message line is at most 80 bytes, 15 of
// them the handle prefix. The board cuts by bytes, even inside a character.
constexpr std::size_t kTextRoom = 65;
// Two lines shorter than this together are joined into one, as the board does.
constexpr std::size_t kJoinBelow = 63;
constexpr std::size_t kHandleRoom = 14;
constexpr int kMembers = 48;

constexpr std::uint64_t kDaySeconds = 24 * 60 * 60;
constexpr std::uint64_t kYearSeconds = 365 * kDaySeconds;
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

template <std::size_t N>
std::string_view Pick(Random& random, const std::string_view (&table)[N]) {
    return table[random.Below(static_cast<std::uint32_t>(N))];
}

void Two(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

}  // namespace

std::uint64_t Random::Next() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t Random::Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32);
}

LogGenerator::LogGenerator(std::uint64_t seed, std::uint64_t size) : random_(seed), size_(size) {
    members_.push_back({"SYSOP", "ぽれすく"});
    while (members_.size() < kMembers) {
        Member member;
        for (int i = 0; i < 3; ++i) member.userId += static_cast<char>('A' + random_.Below(26));
        for (int i = 0; i < 5; ++i) member.userId += static_cast<char>('0' + random_.Below(10));
        member.handle = Pick(random_, kHandleWords);
        if (random_.OneIn(4)) member.handle += Pick(random_, kHandleWords);
        members_.push_back(std::move(member));
    }
}

std::string LogGenerator::Text() {
    const std::size_t target = 4 + random_.Below(69);
    std::string text;
    while (text.size() < target) {
        const std::string_view word = Pick(random_, kWords);
        if (!text.empty() && text.size() + word.size() > target) break;
        text += word;
    }
    if (text.size() > kTextRoom) text.resize(kTextRoom);
    return text;
}

// The posting's time key: the stamps spread the log's bytes evenly over one
// year, and now and then a day's first posting falls in its first second,
// which gives the short "MM/DD" form.
void LogGenerator::Stamp(std::string& out) {
    std::uint64_t second = size_ == 0 ? 0 : bytes_ * kYearSeconds / size_;
    second = std::min(second, kYearSeconds - 1);
    const std::int64_t day = static_cast<std::int64_t>(second / kDaySeconds);
    if (day != lastDay_) {
        if (random_.OneIn(8)) second = static_cast<std::uint64_t>(day) * kDaySeconds;
        lastDay_ = day;
    }
    int month = 0;
    int dayOfMonth = static_cast<int>(day);
    while (dayOfMonth >= kMonthDays[month]) dayOfMonth -= kMonthDays[month++];
    Two(out, month + 1);
    out += '/';
    Two(out, dayOfMonth + 1);
    const int secondOfDay = static_cast<int>(second % kDaySeconds);
    if (secondOfDay == 0) return;
    out += ' ';
    Two(out, secondOfDay / 3600);
    out += ':';
    Two(out, secondOfDay / 60 % 60);
}

bool LogGenerator::Next(std::string& posting) {
    posting.clear();
    if (done_) return false;
    // A few regulars post most of the messages.
    const std::uint32_t who = std::min(random_.Below(kMembers), random_.Below(kMembers));
    const Member& member = members_[who];

    Stamp(posting);
    posting += ' ';
    posting += member.userId;
    posting += "\r\n";

    std::string prefix = member.handle.substr(0, kHandleRoom);
    prefix.resize(kHandleRoom, ' ');
    prefix += '>';
    std::string first = Text();
    std::string second;
    if (random_.OneIn(3)) {
        second = Text();
        if (first.size() + second.size() < kJoinBelow) {
            first += kJoiner;
            first += second;
            second.clear();
        }
    }
    posting += prefix + first + "\r\n";
    if (!second.empty()) posting += prefix + second + "\r\n";

    if (bytes_ + posting.size() > size_) {
        done_ = true;
        posting.clear();
        return false;
    }
    bytes_ += posting.size();
    ++postings_;
    return true;
}

std::string GenerateLog(std::uint64_t seed, std::uint64_t size) {
    LogGenerator generator(seed, size);
    std::string log;
    std::string posting;
    while (generator.Next(posting)) log += posting;
    return log;
}

bool WriteLog(std::uint64_t seed, std::uint64_t size, const std::string& path, std::uint64_t* postings) {
    const std::string temporary = path + ".part";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) return false;
    static char buffer[1 << 20];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    LogGenerator generator(seed, size);
    std::string posting;
    bool ok = true;
    while (ok && generator.Next(posting)) ok = std::fwrite(posting.data(), 1, posting.size(), out) == posting.size();
    ok = std::fclose(out) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        std::remove(temporary.c_str());
        errno = error;
        return false;
    }
    if (postings != nullptr) *postings = generator.postings();
    return true;
}

}  // namespace bench
