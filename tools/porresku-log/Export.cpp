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

void CsvField(std::string_view text, std::string& out) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
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

}  // namespace

int RunExport(const std::string& log, ExportFormat format, Terminal& terminal) {
    const ReadableLog file(log);
    Output& out = terminal.out();
    auto text = [&](std::string_view cp932) { return terminal.raw() ? std::string(cp932) : ToUtf8(cp932); };
    if (format == ExportFormat::kCsv) out << "line,key,user,handle,text\r\n";
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
            if (format == ExportFormat::kCsv) {
                for (auto line = unit.lines.begin() + 1; line != unit.lines.end(); ++line) {
                    std::string& row = out.buffer();
                    row += std::to_string(unit.header().number);
                    row += ',';
                    CsvField(header.key, row);
                    row += ',';
                    CsvField(text(header.userId), row);
                    row += ',';
                    CsvField(text(HandleName(line->text())), row);
                    row += ',';
                    CsvField(text(MessageText(line->text())), row);
                    row += "\r\n";
                    out.Spill();
                }
                return;
            }
            nlohmann::ordered_json posting;
            posting["line"] = unit.header().number;
            posting["key"] = std::string(header.key);
            posting["user"] = text(header.userId);
            nlohmann::ordered_json messages = nlohmann::ordered_json::array();
            for (auto line = unit.lines.begin() + 1; line != unit.lines.end(); ++line) {
                messages.push_back({{"handle", text(HandleName(line->text()))}, {"text", text(MessageText(line->text()))}});
            }
            posting["messages"] = std::move(messages);
            // JSON holds UTF-8 only: with --raw, bytes that are none are left out.
            out << posting.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::ignore) << '\n';
        });
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    return kFine;
}

}  // namespace porresku_log
