#include "source/avi/file_info.h"

namespace quorvel {

namespace {

// Balances init with exit and releases the handle, whichever way the call ends.
class LibrarySession {
public:
    explicit LibrarySession(avifile::AviLibrary& library) : library_(library) { library_.init(); }
    ~LibrarySession() {
        if (file)
            library_.release(file);
        library_.exit();
    }
    LibrarySession(const LibrarySession&) = delete;
    LibrarySession& operator=(const LibrarySession&) = delete;

    avifile::PAVIFILE file = nullptr;

private:
    avifile::AviLibrary& library_;
};

} // namespace

SourceOutcome
inspectFile(avifile::AviLibrary& library, const std::string& path,
            const std::function<void(const std::string&)>& showMessage,
            const std::function<SourceOutcome(const avifile::AVIFILEINFO&)>& showSource) {
    LibrarySession session(library);
    // A failure without a code of its own would otherwise be reported with the
    // text for success; the call's result at least names the failure.
    auto errorCode = [&library](std::int32_t result) {
        const std::int32_t code = library.lastError();
        return code != 0 ? code : result;
    };

    const std::int32_t opened = library.open(&session.file, path, avifile::OF_SHARE_DENY_WRITE);
    if (opened != 0) {
        showMessage(kOpenFailedText + avifile::sysErrorText(errorCode(opened)));
        return {};
    }
    avifile::AVIFILEINFO record{};
    const std::int32_t read = library.info(session.file, &record, sizeof record);
    if (read != 0) {
        showMessage(kInfoFailedText + avifile::sysErrorText(errorCode(read)));
        return {};
    }
    return showSource(record);
}

std::string describeSourceOutcome(const SourceOutcome& outcome) {
    switch (outcome.kind) {
    case SourceOutcome::Shown:
        return {};
    case SourceOutcome::RateDivisorZero:
        return kRateDivisorZeroText;
    case SourceOutcome::SizeRefused:
        return kSizeRefusedText + describeResizeError(outcome.resize);
    }
    return {};
}

} // namespace quorvel
