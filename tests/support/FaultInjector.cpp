#include "support/FaultInjector.h"

namespace testing_host {

namespace {

struct State {
    std::vector<Fault> faults;
    bool active = false;
    bool fired = false;
    int counts[6] = {};
    std::vector<int> fileCounts;  // per fault with onlyFile: the opens of its file
    platform::ErrorCode error = 0;  // of the fault that fired last
};
State state;

// Counts the call and tells whether it is to fail; `file` names the file of an open.
bool Fails(FileCall call, const char* file = nullptr) {
    const int count = ++state.counts[static_cast<int>(call)];
    if (!state.active) return false;
    for (std::size_t index = 0; index < state.faults.size(); ++index) {
        const Fault& fault = state.faults[index];
        if (fault.call != call) continue;
        int nth = count;
        if (!fault.onlyFile.empty()) {
            if (file == nullptr || fault.onlyFile != file) continue;
            nth = ++state.fileCounts[index];
        }
        if (nth >= fault.nth && (fault.fromThenOn || nth < fault.nth + fault.times)) {
            state.fired = true;
            state.error = fault.error;
            return true;
        }
    }
    return false;
}

const platform::Calls& System() { return platform::SystemCalls(); }

platform::ErrorCode Open(const char* name, platform::OpenMode mode, platform::FileHandle* file) {
    if (Fails(FileCall::kOpen, name)) {
        *file = platform::kNoFile;
        return state.error;
    }
    return System().open(name, mode, file);
}

platform::ErrorCode Read(platform::FileHandle file, void* buffer, std::size_t size, std::size_t* got) {
    if (Fails(FileCall::kRead)) {
        *got = 0;
        return state.error;
    }
    return System().read(file, buffer, size, got);
}

platform::ErrorCode Write(platform::FileHandle file, const void* data, std::size_t size, std::size_t* written) {
    if (Fails(FileCall::kWrite)) {
        System().write(file, data, size / 2, written);
        return state.error;
    }
    return System().write(file, data, size, written);
}

platform::ErrorCode Seek(platform::FileHandle file, std::int64_t offset, platform::SeekFrom from,
                         std::int64_t* position) {
    if (Fails(FileCall::kSeek)) return state.error;
    return System().seek(file, offset, from, position);
}

platform::ErrorCode Truncate(platform::FileHandle file) {
    if (Fails(FileCall::kTruncate)) return state.error;
    return System().truncate(file);
}

platform::ErrorCode Close(platform::FileHandle file) {
    if (Fails(FileCall::kClose)) {
        System().close(file);
        return state.error;
    }
    return System().close(file);
}

}  // namespace

const char* FileCallName(FileCall call) {
    switch (call) {
        case FileCall::kOpen: return "open";
        case FileCall::kRead: return "read";
        case FileCall::kWrite: return "write";
        case FileCall::kSeek: return "seek";
        case FileCall::kTruncate: return "truncate";
        case FileCall::kClose: return "close";
    }
    return "?";
}

std::string Describe(const std::vector<Fault>& faults) {
    std::string text;
    for (const Fault& fault : faults) {
        if (!text.empty()) text += " + ";
        text += std::string(FileCallName(fault.call)) + (fault.onlyFile.empty() ? "" : " of " + fault.onlyFile) +
                " #" + std::to_string(fault.nth) +
                (fault.fromThenOn ? " and on" : fault.times > 1 ? " x" + std::to_string(fault.times) : " once");
    }
    return text;
}

FaultInjector::FaultInjector(std::vector<Fault> faults) {
    state = State{};
    state.faults = std::move(faults);
    state.fileCounts.assign(state.faults.size(), 0);
    state.active = true;
    platform::Calls& calls = platform::Active();
    calls.open = Open;
    calls.read = Read;
    calls.write = Write;
    calls.seek = Seek;
    calls.truncate = Truncate;
    calls.close = Close;
}

FaultInjector::~FaultInjector() {
    platform::Calls& calls = platform::Active();
    const platform::Calls& system = platform::SystemCalls();
    calls.open = system.open;
    calls.read = system.read;
    calls.write = system.write;
    calls.seek = system.seek;
    calls.truncate = system.truncate;
    calls.close = system.close;
    state.active = false;
}

int FaultInjector::Count(FileCall call) const { return state.counts[static_cast<int>(call)]; }

bool FaultInjector::Fired() const { return state.fired; }

void FaultInjector::Heal() { state.active = false; }

}  // namespace testing_host
