#include "chooser/common_dialog.h"

#include "resize/text.h"

#include <array>
#include <limits>
#include <stdexcept>

namespace quorvel::RUVIV_CommonDialog {

OpenFileName dialogParams;

namespace {

Platform* platform = nullptr;

constexpr const char* kPathTooLong =
    "The chosen path is too long to read: a folder or file name ends past character 32,766.";
constexpr const char* kTooManyFiles = "More than 200 files were chosen.";
constexpr const char* kAnswerUnended =
    "The file dialog's answer could not be read: a file name is not properly ended.";

// Positions, offsets and counts below are the module's 16-bit integers; any
// step that leaves that range is refused rather than wrapped.
std::int16_t to16(std::int64_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        throw std::overflow_error(kPathTooLong);
    return static_cast<std::int16_t>(value);
}

std::int16_t plusOne(std::int16_t value) {
    return to16(std::int64_t{value} + 1);
}

// Text positions count from 1 (`from` is always at least 1 here). Both
// searches give 0 when nothing is found.
std::int64_t firstNulFrom(const std::string& text, std::int64_t from) {
    if (from > static_cast<std::int64_t>(text.size()))
        return 0;
    const auto at = text.find('\0', static_cast<std::size_t>(from - 1));
    return at == std::string::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::int64_t firstNulPairFrom(const std::string& text, std::int64_t from) {
    if (from > static_cast<std::int64_t>(text.size()))
        return 0;
    const auto at = text.find(std::string_view("\0\0", 2), static_cast<std::size_t>(from - 1));
    return at == std::string::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

// `length` characters from position `start`, cut short at the end of the text.
std::string midText(const std::string& text, std::int64_t start, std::int64_t length) {
    if (start < 1 || length < 0)
        throw std::invalid_argument(kAnswerUnended);
    if (start > static_cast<std::int64_t>(text.size()))
        return {};
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}

OpenResult readOneFile(const OpenFileName& params) {
    const std::string& buffer = params.lpstrFile;
    // A negative offset is one past 32,767 read through the signed field.
    if (params.nFileOffset < 0)
        throw std::overflow_error(kPathTooLong);
    OpenResult result;
    result.folder = buffer.substr(0, static_cast<std::size_t>(params.nFileOffset));
    result.fileCount = 1;
    const std::int64_t end = firstNulFrom(buffer, 1);
    const std::int16_t start = plusOne(params.nFileOffset);
    result.files.append(midText(buffer, start, end - params.nFileOffset - 1));
    result.cancelled = 0;
    return result;
}

// The answer is: folder NUL name NUL name NUL ... name NUL NUL. The walk goes
// from NUL to NUL and stops at the name whose NUL starts the pair.
OpenResult readSeveralFiles(const OpenFileName& params, char separator) {
    const std::string& buffer = params.lpstrFile;
    std::array<std::string, kMaxNames + 1> nameSlots; // [0] unused: names count from 1
    auto slot = [&nameSlots](std::int16_t k) -> std::string& {
        if (k < 1 || k > kMaxNames)
            throw std::out_of_range(kTooManyFiles);
        return nameSlots[static_cast<std::size_t>(k)];
    };

    OpenResult result;
    std::int16_t pos = 0;
    std::int16_t k = 0;
    result.fileCount = 0;
    // Ends: each round either sets fileCount, throws, or moves pos to a later
    // NUL, and positions cannot pass 32,767 without throwing.
    while (result.fileCount == 0) {
        const std::int16_t h = to16(firstNulFrom(buffer, plusOne(pos)));
        std::string item = midText(buffer, plusOne(pos), h - pos - 1);
        if (k == 0)
            result.folder = std::move(item);
        else
            slot(k) = std::move(item);
        k = plusOne(k);
        const std::int16_t afterH = plusOne(h);
        const std::int64_t pair = firstNulPairFrom(buffer, afterH);
        const std::int64_t next = firstNulFrom(buffer, afterH);
        if (next == pair) {
            slot(k) = midText(buffer, afterH, pair - h - 1);
            result.fileCount = k;
        }
        pos = h;
    }

    if (result.folder.empty() || result.folder.back() != separator)
        result.folder += separator;
    for (std::int16_t i = 1; i <= result.fileCount; ++i)
        result.files.append(nameSlots[static_cast<std::size_t>(i)]);
    result.cancelled = 0;
    return result;
}

} // namespace

const std::string& FileList::operator()(int index) const {
    if (index < 1 || index > static_cast<int>(names_.size()))
        throw std::out_of_range("There is no chosen file number " + std::to_string(index) + ".");
    return names_[static_cast<std::size_t>(index - 1)];
}

void setPlatform(Platform* newPlatform) {
    platform = newPlatform;
}

OpenResult readAnswer(const OpenFileName& params, std::int32_t ok, char separator) {
    if (ok == 0) {
        OpenResult cancelled;
        cancelled.cancelled = -1;
        return cancelled;
    }
    // The dialog fills the title only when a single file was chosen.
    if (!isBlank(params.lpstrFileTitle, kSpace))
        return readOneFile(params);
    return readSeveralFiles(params, separator);
}

OpenResult ShowOpen(Handle ownerWindow, std::int16_t centerOnOwner, char separator) {
    if (platform == nullptr)
        throw std::logic_error("No file dialog is available on this system.");

    hookOwner = ownerWindow;
    dialogParams.lStructSize = kRecordSize;
    dialogParams.hwndOwner = ownerWindow;
    dialogParams.lpstrFileTitle.assign(kBufferGrowth, ' ');
    dialogParams.nMaxFileTitle = kBufferGrowth;
    // The last answer stays at the front, so the dialog opens on it; the room
    // for the new one is added behind, up to the largest buffer.
    std::string& file = dialogParams.lpstrFile;
    constexpr std::size_t kKept = kMaxFileBuffer - kBufferGrowth;
    if (file.size() > kKept)
        file.resize(kKept);
    file.append(kBufferGrowth - 1, ' ');
    file.push_back('\0');
    dialogParams.nMaxFile = static_cast<std::int32_t>(file.size());
    dialogParams.Flags = kOpenFlags;

    const Handle instance = platform->windowInstance(ownerWindow);
    const std::int32_t thread = platform->currentThreadId();
    hookHandle = platform->installHook(centerOnOwner == kCenterOnOwner ? &CenterOnOwnerHook
                                                                       : &CenterOnScreenHook,
                                       instance, thread);

    const std::int32_t ok = platform->getOpenFileName(dialogParams);
    return readAnswer(dialogParams, ok, separator);
}

} // namespace quorvel::RUVIV_CommonDialog
