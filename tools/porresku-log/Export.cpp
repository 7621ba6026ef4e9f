// export: every posting as UTF-8, as plain text (the log's lines), CSV
// (RFC 4180: one record per message line, CR LF between records) or JSON
// Lines (one object per posting).
#include <cstring>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "LogFiles.h"
#include "Terminal.h"
#include "log/LogError.h"

namespace porresku_log {

namespace {

// Bytes that make a CSV field quoted.
struct CsvSpecialBytes {
    bool special[256];
    constexpr CsvSpecialBytes() : special() {
        for (const char c : {',', '"', '\r', '\n'}) special[static_cast<unsigned char>(c)] = true;
    }
};
constexpr CsvSpecialBytes kCsvSpecial;

void CsvField(std::string_view text, Output& out) {
    bool quoted = false;
    for (const char c : text) quoted |= kCsvSpecial.special[static_cast<unsigned char>(c)];
    if (!quoted) {
        out << text;
        return;
    }
    char* to = out.Room(text.size() * 2 + 2);
    *to++ = '"';
    for (const char c : text) {
        if (c == '"') *to++ = '"';
        *to++ = c;
    }
    *to++ = '"';
    out.Wrote(to);
}

// Bytes that a JSON string holds as they are: no control character, quote
// or backslash, and (unless the text is known UTF-8) no byte above ASCII.
struct JsonPlainBytes {
    bool ascii[256];
    bool utf8[256];
    constexpr JsonPlainBytes() : ascii(), utf8() {
        for (int c = 0; c < 256; ++c) {
            utf8[c] = c >= 0x20 && c != '"' && c != '\\';
            ascii[c] = utf8[c] && c < 0x80;
        }
    }
};
constexpr JsonPlainBytes kJsonPlain;

// A JSON string as nlohmann writes it (no escapes beyond the needed ones,
// bytes that are no UTF-8 left out). Most texts need no escape and are
// copied; the others go through nlohmann itself.
void JsonString(std::string_view text, bool knownUtf8, Output& out) {
    const bool* plain = knownUtf8 ? kJsonPlain.utf8 : kJsonPlain.ascii;
    bool isPlain = true;
    for (const char c : text) isPlain &= plain[static_cast<unsigned char>(c)];
    if (!isPlain) {
        out << nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::ignore);
        return;
    }
    char* to = out.Room(text.size() + 2);
    *to++ = '"';
    if (!text.empty()) std::memcpy(to, text.data(), text.size());
    to += text.size();
    *to++ = '"';
    out.Wrote(to);
}

// A line's texts as the export holds them: converted to UTF-8 in a room
// of its own, or with --raw as they are.
class TextConverter {
public:
    explicit TextConverter(bool raw) : raw_(raw) {}
    std::string_view operator()(std::string_view cp932) {
        if (raw_ || cp932.size() > LogLine::kKeptBytes) return raw_ ? cp932 : Slow(cp932);
        return {room_, static_cast<std::size_t>(PutUtf8(cp932, room_) - room_)};
    }

private:
    std::string_view Slow(std::string_view cp932) {
        slow_.clear();
        AppendUtf8(cp932, slow_);
        return slow_;
    }
    bool raw_;
    char room_[Utf8Room(LogLine::kKeptBytes)];
    std::string slow_;
};

}  // namespace

int RunExport(const std::string& log, ExportFormat format, Terminal& terminal) {
    const ReadableLog file(log);
    Output& out = terminal.out();
    const bool raw = terminal.raw();
    TextConverter text(raw);
    if (format == ExportFormat::kCsv) out << "line,key,user,handle,text\r\n";
    std::string user;
    std::string number;
    try {
        ReadUnits(file.handle(), [&](const LogUnit& unit) {
            if (!unit.posting) return;
            if (format == ExportFormat::kText) {
                for (const LogLine& line : unit.lines) {
                    terminal.Text(line.text());
                    out << '\n';
                }
                return;
            }
            const HeaderFields header = SplitHeader(unit.header().text());
            number = std::to_string(unit.header().number);
            if (format == ExportFormat::kCsv) {
                const std::string_view userId = text(header.userId);
                user.assign(userId.data(), userId.size());
                for (auto line = unit.lines.begin() + 1; line != unit.lines.end(); ++line) {
                    out << number << ',';
                    CsvField(header.key, out);
                    out << ',';
                    CsvField(user, out);
                    out << ',';
                    CsvField(text(HandleName(line->text())), out);
                    out << ',';
                    CsvField(text(MessageText(line->text())), out);
                    out << "\r\n";
                }
                return;
            }
            // JSON holds UTF-8 only: with --raw, bytes that are none are left out.
            out << "{\"line\":" << number << ",\"key\":";
            JsonString(header.key, false, out);
            out << ",\"user\":";
            JsonString(text(header.userId), !raw, out);
            out << ",\"messages\":[";
            for (auto line = unit.lines.begin() + 1; line != unit.lines.end(); ++line) {
                out << (line == unit.lines.begin() + 1 ? "{\"handle\":" : ",{\"handle\":");
                JsonString(text(HandleName(line->text())), !raw, out);
                out << ",\"text\":";
                JsonString(text(MessageText(line->text())), !raw, out);
                out << '}';
            }
            out << "]}\n";
        });
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    return kFine;
}

}  // namespace porresku_log
