#include "log/LogError.h"

namespace messagelog {

namespace {

const char* OperationWord(LogError::Operation operation) {
    switch (operation) {
        case LogError::kRead: return "read";
        case LogError::kWrite: return "write";
        case LogError::kSeek: return "seek";
        case LogError::kTruncate: return "truncate";
    }
    return "access";
}

const char* OperationWordJa(LogError::Operation operation) {
    switch (operation) {
        case LogError::kRead: return "読み込み";
        case LogError::kWrite: return "書き込み";
        case LogError::kSeek: return "位置合わせ";
        case LogError::kTruncate: return "切り詰め";
    }
    return "操作";
}

std::string CallerText(LogError::Operation operation, platform::ErrorCode code) {
    return std::string("入出力エラー: porresku.log の") + OperationWordJa(operation) + "に失敗しました (コード " +
           std::to_string(code) + ")";
}

}  // namespace

LogError::LogError(Operation operation, platform::ErrorCode code)
    : board::BoardError(CallerText(operation, code)), operation_(operation), code_(code) {}

std::string LogError::diagnostic() const {
    return std::string("porresku.log: ") + OperationWord(operation_) + " failed (error " + std::to_string(code_) + ")";
}

}  // namespace messagelog
