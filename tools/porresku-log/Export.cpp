// export: every posting as UTF-8, as plain text (the log's lines), CSV
// (RFC 4180: one record per message line, CR LF between records) or JSON
// Lines (one object per posting).
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

void CsvField(std::string_view text, std::string& out) {
    bool quoted = false;
    for (const char c : text) quoted |= kCsvSpecial.special[static_cast<unsigned char>(c)];
    if (!quoted) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
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
void JsonString(std::string_view text, bool knownUtf8, std::string& out) {
    const bool* plain = knownUtf8 ? kJsonPlain.utf8 : kJsonPlain.ascii;
    bool isPlain = true;
    for (const char c : text) isPlain &= plain[static_cast<unsigned char>(c)];
    if (isPlain) {
        out += '"';
        out.append(text);
        out += '"';
        return;
    }
    out += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::ignore);
}

}  // namespace

int RunExport(const std::string& log, ExportFormat format, Terminal& terminal) {
    const ReadableLog file(log);
    Output& out = terminal.out();
    const bool raw = terminal.raw();
    // The texts as the export holds them, in one reused room each.
    std::string scratch;
    auto text = [&](std::string_view cp932) -> std::string_view {
        if (raw) return cp932;
        scratch.clear();
        AppendUtf8(cp932, scratch);
        return scratch;
    };
    if (format == ExportFormat::kCsv) out << "line,key,user,handle,text\r\n";
    std::string user;
    std::string number;
    try {
        ReadUnits(file.handle(), [&](const LogUnit& unit) {
            if (!unit.posting) return;
            const HeaderFields header = SplitHeader(unit.header().text());
            if (format == ExportFormat::kText) {
                for (const LogLine& line : unit.lines) {
                    terminal.Text(line.text());
                    out << '\n';
                }
                return;
            }
            std::string& row = out.buffer();
            number = std::to_string(unit.header().number);
            if (format == ExportFormat::kCsv) {
                user.clear();
                CsvField(text(header.userId), user);
                for (auto line = unit.lines.begin() + 1; line != unit.lines.end(); ++line) {
                    row += number;
                    row += ',';
                    CsvField(header.key, row);
                    row += ',';
                    row += user;
                    row += ',';
                    CsvField(text(HandleName(line->text())), row);
                    row += ',';
                    CsvField(text(MessageText(line->text())), row);
                    row += "\r\n";
                }
                out.Spill();
                return;
            }
            // JSON holds UTF-8 only: with --raw, bytes that are none are left out.
            row += "{\"line\":";
            row += number;
            row += ",\"key\":";
            JsonString(header.key, false, row);
            row += ",\"user\":";
            JsonString(text(header.userId), !raw, row);
            row += ",\"messages\":[";
            for (auto line = unit.lines.begin() + 1; line != unit.lines.end(); ++line) {
                row += line == unit.lines.begin() + 1 ? "{\"handle\":" : ",{\"handle\":";
                JsonString(text(HandleName(line->text())), !raw, row);
                row += ",\"text\":";
                JsonString(text(MessageText(line->text())), !raw, row);
                row += '}';
            }
            row += "]}\n";
            out.Spill();
        });
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    return kFine;
}

}  // namespace porresku_log
