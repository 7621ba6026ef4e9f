// export: every posting as UTF-8, as plain text (the log's lines), CSV
// (RFC 4180: one record per message line, CR LF between records) or JSON
// Lines (one object per posting).
#include <algorithm>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "LogFiles.h"
#include "ShowPieces.h"
#include "Terminal.h"
#include "log/LogError.h"

namespace porresku_log {

namespace {

// The bytes a field's text needs care for: CSV quotes a field that holds
// a comma, a quote or a line end; JSON escapes a quote, a backslash or a
// control character, and holds no byte above ASCII unless the text is known
// UTF-8. Nearly every text holds none of them and goes out as converted.
enum class Care { kCsv, kJson, kJsonRaw };

struct CareBytes {
    bool bytes[3][256];
    constexpr CareBytes() : bytes() {
        for (const char c : {',', '"', '\r', '\n'}) bytes[0][static_cast<unsigned char>(c)] = true;
        for (int c = 0; c < 256; ++c) {
            bytes[1][c] = c < 0x20 || c == '"' || c == '\\';
            bytes[2][c] = bytes[1][c] || c >= 0x80;
        }
    }
};
constexpr CareBytes kCareBytes;

// Asked only of a field that the conversion saw a watched byte in (or,
// with --raw, of every JSON field): a byte at a time is enough.
bool NeedsCare(std::string_view text, Care care) {
    const bool* const careFor = kCareBytes.bytes[static_cast<int>(care)];
    return std::any_of(text.begin(), text.end(), [careFor](char c) { return careFor[static_cast<unsigned char>(c)]; });
}

// A sound header's time key ("MM/DD hh:mm" or "MM/DD") at `to`: digits,
// "/", ":" and a blank, the same in UTF-8, which neither CSV nor JSON takes
// care of. Copied in one of its two sizes by memcpy, which the compiler
// makes a few moves (std::copy_n would call memmove).
char* PutKey(std::string_view key, char* to) {
    constexpr std::size_t kLong = 11;
    constexpr std::size_t kShort = 5;
    if (key.size() == kLong) {
        std::memcpy(to, key.data(), kLong);
        return to + kLong;
    }
    std::memcpy(to, key.data(), kShort);
    return to + kShort;
}

// Room for a CSV field of `size` bytes from the log, quoted at worst.
constexpr std::size_t CsvRoom(std::size_t size) { return 2 * Utf8Room(size) + 2; }

char* PutCsvQuoted(std::string_view text, char* to) {
    *to++ = '"';
    for (const char c : text) {
        if (c == '"') *to++ = '"';
        *to++ = c;
    }
    *to++ = '"';
    return to;
}

// A JSON string as nlohmann writes it (no escapes beyond the needed ones,
// bytes that are no UTF-8 left out).
void JsonEscaped(std::string_view text, Output& out) {
    out << nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::ignore);
}

// Texts from the log, converted to UTF-8 (or with --raw as they are) straight
// into the output, then quoted or escaped only when they need it. What CSV
// and JSON take care of (ASCII punctuation and control bytes) is seen while
// a text is converted, so a field without it (nearly every one) is never
// looked at again. A backslash as the second byte of a character (as in
// "ソ") is no backslash in UTF-8, and is not taken for one.
class FieldWriter {
public:
    explicit FieldWriter(const Terminal& terminal) : terminal_(terminal), raw_(terminal.raw()) {}

    // A sound header or message line at `to`, which has
    // Utf8Room(line.size()) + ConvertedHandles::kRoom; returns its end.
    char* PutHeaderLine(std::string_view line, char* to) const { return terminal_.PutHeaderLine(line, to); }
    char* PutMessageLine(std::string_view line, char* to) { return terminal_.PutMessageLine(line, handles_, to); }

    // A CSV field at `to`, which has CsvRoom(cp932.size()); returns its end.
    char* PutCsv(std::string_view cp932, char* to) {
        bool watched = false;
        char* const end = terminal_.PutTextWatching(cp932, to, watched);
        return watched ? CsvQuotedWhenNeeded(to, end) : end;
    }
    // A message line's handle as a CSV field at `to`, which has kHandleCsvRoom.
    char* PutCsvHandle(std::string_view line, char* to) {
        bool watched = false;
        char* const end = PutHandle(line, to, watched);
        return watched ? CsvQuotedWhenNeeded(to, end) : end;
    }
    // A JSON string at `to`, which has Utf8Room(cp932.size()) + 2; returns
    // its end, or null for a text that may need escapes (with --raw, any
    // text): what was written then does not count, and Json() writes it.
    char* PutJsonPlain(std::string_view cp932, char* to) const {
        bool watched = false;
        char* const end = terminal_.PutTextWatching(cp932, to + 1, watched);
        return watched || raw_ ? nullptr : JsonQuoted(to, end);
    }
    // A message line's handle the same, at `to`, which has kHandleJsonRoom.
    char* PutJsonPlainHandle(std::string_view line, char* to) {
        bool watched = false;
        char* const end = PutHandle(line, to + 1, watched);
        return watched || raw_ ? nullptr : JsonQuoted(to, end);
    }
    void Json(std::string_view cp932, Output& out) {
        char* const to = out.Room(Utf8Room(cp932.size()) + 2);
        *to = '"';
        char* const end = terminal_.PutText(cp932, to + 1);
        if (!NeedsCare({to + 1, static_cast<std::size_t>(end - to - 1)}, raw_ ? Care::kJsonRaw : Care::kJson)) {
            *end = '"';
            out.Wrote(end + 1);
            return;
        }
        scratch_.assign(to + 1, end);
        JsonEscaped(scratch_, out);
    }

    static constexpr std::size_t kHandleCsvRoom = std::max(CsvRoom(kHandlePrefixSize), ConvertedHandles::kRoom);
    static constexpr std::size_t kHandleJsonRoom = std::max(Utf8Room(kHandlePrefixSize), ConvertedHandles::kRoom) + 2;

private:
    // The handle name of a message line.
    char* PutHandle(std::string_view line, char* to, bool& watched) {
        if (!raw_) return handles_.PutName(line, to, watched);
        return terminal_.PutTextWatching(HandleName(line), to, watched);
    }
    // The converted field [to, end) quoted in place if it needs it.
    char* CsvQuotedWhenNeeded(char* to, char* end) {
        if (!NeedsCare({to, static_cast<std::size_t>(end - to)}, Care::kCsv)) return end;
        scratch_.assign(to, end);
        return PutCsvQuoted(scratch_, to);
    }
    // The quotes around a converted text that begins at to + 1.
    static char* JsonQuoted(char* to, char* end) {
        *to = '"';
        *end = '"';
        return end + 1;
    }

    const Terminal& terminal_;
    bool raw_;
    ConvertedHandles handles_;
    std::string scratch_;
};

// A posting as CSV records, one per message line, each starting with the
// same line number, key and user, made once from the header.
class CsvPosting {
public:
    explicit CsvPosting(FieldWriter& field) : field_(field) {}

    void Start(const LogLine& headerLine) {
        const HeaderFields header = SplitHeader(headerLine.text());
        char* at = PutDecimal(static_cast<std::uint64_t>(headerLine.number), start_);
        *at++ = ',';
        at = PutKey(header.key, at);
        *at++ = ',';
        at = field_.PutCsv(header.userId, at);
        *at++ = ',';
        startSize_ = static_cast<std::size_t>(at - start_);
    }
    void Row(const LogLine& line, Output& out) {
        const std::string_view text = MessageText(line.text());
        char* to = out.Room(std::max(startSize_, kShortStart) + FieldWriter::kHandleCsvRoom + CsvRoom(text.size()) + 3);
        // A copy of a fixed size is a few moves; of any other, a call.
        if (startSize_ <= kShortStart) {
            std::memcpy(to, start_, kShortStart);
        } else {
            std::memcpy(to, start_, startSize_);
        }
        to = field_.PutCsvHandle(line.text(), to + startSize_);
        *to++ = ',';
        to = field_.PutCsv(text, to);
        *to++ = '\r';
        *to++ = '\n';
        out.Wrote(to);
    }

private:
    FieldWriter& field_;
    // The number (at most 20 digits), the key and the user ID, each quoted
    // at worst, and their commas.
    char start_[kDecimalRoom + 1 + CsvRoom(kHeaderLineRoom) + 1 + CsvRoom(kHeaderLineRoom) + 1] = {};
    std::size_t startSize_ = 0;
    // Most starts: "1234567,12/31 23:59,USERID12,".
    static constexpr std::size_t kShortStart = 32;
};

// Writes each posting in the export's format as its lines come (one for
// each thread). What was written of a header that no message line joins is
// taken back.
class PostingWriter {
public:
    PostingWriter(ExportFormat format, Output& out, bool raw)
        : format_(format), out_(out), terminal_(out, raw), field_(terminal_), csv_(field_) {}
    PostingWriter(const PostingWriter&) = delete;
    PostingWriter& operator=(const PostingWriter&) = delete;

    void Header(const LogLine& line) {
        headerAt_ = out_.Written();
        switch (format_) {
        case ExportFormat::kText:
            Text(line, true);
            break;
        case ExportFormat::kCsv:
            csv_.Start(line);
            break;
        case ExportFormat::kJson:
            JsonOpening(line);
            break;
        }
    }
    void Message(const LogLine& line) {
        switch (format_) {
        case ExportFormat::kText:
            Text(line, false);
            break;
        case ExportFormat::kCsv:
            csv_.Row(line, out_);
            break;
        case ExportFormat::kJson:
            JsonMessage(line);
            break;
        }
    }
    void Close(bool posting) {
        if (!posting) {
            out_.TakeBack(headerAt_);
        } else if (format_ == ExportFormat::kJson) {
            constexpr std::string_view kClosing = "]}\n";
            out_.Wrote(std::copy(kClosing.begin(), kClosing.end(), out_.Room(kClosing.size())));
        }
    }

private:
    void Text(const LogLine& line, bool header) {
        char* const room = out_.Room(Utf8Room(line.text().size()) + ConvertedHandles::kRoom + 1);
        char* const to = header ? field_.PutHeaderLine(line.text(), room) : field_.PutMessageLine(line.text(), room);
        *to = '\n';
        out_.Wrote(to + 1);
    }

    // JSON holds UTF-8 only: with --raw, bytes that are none are left out.
    void JsonOpening(const LogLine& line) {
        const HeaderFields header = SplitHeader(line.text());
        constexpr std::string_view kLine = "{\"line\":";
        constexpr std::string_view kKey = ",\"key\":\"";
        constexpr std::string_view kUser = "\",\"user\":";
        constexpr std::string_view kMessages = ",\"messages\":[";
        char* to = out_.Room(kLine.size() + kDecimalRoom + kKey.size() + header.key.size() + kUser.size() +
                             Utf8Room(header.userId.size()) + 2 + kMessages.size());
        to = PutDecimal(static_cast<std::uint64_t>(line.number), std::copy(kLine.begin(), kLine.end(), to));
        to = PutKey(header.key, std::copy(kKey.begin(), kKey.end(), to));
        to = std::copy(kUser.begin(), kUser.end(), to);
        // Nearly every header: the whole opening in one room.
        if (char* const end = field_.PutJsonPlain(header.userId, to)) {
            out_.Wrote(std::copy(kMessages.begin(), kMessages.end(), end));
        } else {
            out_.Wrote(to);
            field_.Json(header.userId, out_);
            out_ << kMessages;
        }
        firstMessage_ = true;
    }
    void JsonMessage(const LogLine& line) {
        // Both openings are copied as 11 bytes (a copy of a fixed size is a
        // few moves; of any other, a call), the first with a spare byte.
        static constexpr char kFirstOpening[] = "{\"handle\": ";
        static constexpr char kNextOpening[] = ",{\"handle\":";
        static_assert(sizeof kFirstOpening == sizeof kNextOpening);
        constexpr std::size_t kCopied = sizeof kNextOpening - 1;
        const std::string_view opening(firstMessage_ ? kFirstOpening : kNextOpening, kCopied - (firstMessage_ ? 1 : 0));
        firstMessage_ = false;
        const std::string_view text = MessageText(line.text());
        // Nearly every line: the whole message in one room.
        char* at = out_.Room(kCopied + FieldWriter::kHandleJsonRoom + Utf8Room(text.size()) + 16);
        std::memcpy(at, opening.data(), kCopied);
        at = field_.PutJsonPlainHandle(line.text(), at + opening.size());
        if (at != nullptr) at = field_.PutJsonPlain(text, std::copy_n(",\"text\":", 8, at));
        if (at != nullptr) {
            *at++ = '}';
            out_.Wrote(at);
            return;
        }
        out_ << opening;
        field_.Json(HandleName(line.text()), out_);
        out_ << ",\"text\":";
        field_.Json(text, out_);
        out_ << '}';
    }

    ExportFormat format_;
    Output& out_;
    Terminal terminal_;
    FieldWriter field_;
    CsvPosting csv_;
    std::size_t headerAt_ = 0;
    bool firstMessage_ = true;
};

}  // namespace

int RunExport(const std::string& log, ExportFormat format, Terminal& terminal) {
    const ReadableLog file(log);
    Output& out = terminal.out();
    if (format == ExportFormat::kCsv) out << "line,key,user,handle,text\r\n";
    try {
        ShowPostings(file.handle(), out,
                     [&](Output& pieceOut) { return PostingWriter(format, pieceOut, terminal.raw()); });
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    return kFine;
}

}  // namespace porresku_log
