#pragma once

// The open-file dialog module. ShowOpen fills the module's OPENFILENAME-shaped
// record, installs a thread-wide hook that centres the dialog when it first
// activates, runs the dialog through the Platform seam and reads the answer
// back out of the record's buffers:
//
//   ShowOpen ──> Platform::installHook(CenterOn{Owner,Screen}Hook)
//            ──> Platform::getOpenFileName(dialogParams)   (dialog runs; its
//                    first activation calls the hook, which moves it through
//                    WindowOps and removes itself)
//            ──> readAnswer(dialogParams) ──> OpenResult
//
// Errors: readAnswer (and so ShowOpen) throws when the answer cannot be read,
// with a what() meant for the user:
//   std::overflow_error    a folder or name (other than the last) ends past
//                          character 32,766, or the name offset is past it:
//                          "The chosen path is too long to read: a folder or
//                          file name ends past character 32,766."
//   std::out_of_range      more than 200 names:
//                          "More than 200 files were chosen."
//   std::invalid_argument  the answer lacks the NUL that ends a name, or the
//                          double NUL that ends the list: "The file dialog's
//                          answer could not be read: a file name is not
//                          properly ended."
// ShowOpen throws std::logic_error when no Platform has been installed. The
// dialog has run by the time any of these is thrown; dialogParams keeps its
// answer.
//
// Paths are the file system's bytes: the record's lpstrFile and
// lpstrInitialDir and OpenResult's folder and files hold a name exactly as the
// system spells it, which on Linux need not be valid UTF-8. Show them with
// QFile::decodeName and open them by the bytes, never through a QString.
//
// Everything here runs on one thread (the one that owns the windows).

#include "chooser/centring.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::RUVIV_CommonDialog {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_CREATEPROMPT | OFN_EXPLORER |
// OFN_NODEREFERENCELINKS | OFN_LONGNAMES.
inline constexpr std::int32_t kOpenFlags = 0x382204;
inline constexpr std::int32_t kRecordSize = 76;
inline constexpr int kBufferGrowth = 2048;
// Each call adds kBufferGrowth characters to lpstrFile, behind the last
// answer. Every answer that can be read ends its folder and all names but the
// last by character 32,766, and its last name is one file name long, so past
// this length the buffer holds only padding: there it stops growing, which
// keeps a long session from copying and holding an ever larger buffer.
inline constexpr int kMaxFileBuffer = 64 * kBufferGrowth;
inline constexpr int kMaxNames = 200;

// Field for field the Win32 OPENFILENAME. Strings are counted text that may
// hold NULs; an empty string stands for a null pointer.
struct OpenFileName {
    std::int32_t lStructSize = 0;
    Handle hwndOwner = 0;
    Handle hInstance = 0;
    std::string lpstrFilter; // description NUL pattern(s) NUL ... NUL
    std::string lpstrCustomFilter;
    std::int32_t nMaxCustFilter = 0;
    std::int32_t nFilterIndex = 0; // 1-based; 0 picks the first
    std::string lpstrFile;
    std::int32_t nMaxFile = 0;
    std::string lpstrFileTitle;
    std::int32_t nMaxFileTitle = 0;
    std::string lpstrInitialDir;
    std::string lpstrTitle;
    std::int32_t Flags = 0;
    // Byte offset of the file name in lpstrFile, as the signed 16-bit value
    // the module reads: an offset past 32,767 shows up negative.
    std::int16_t nFileOffset = 0;
    std::int16_t nFileExtension = 0;
    std::string lpstrDefExt;
    Handle lCustData = 0;
    Handle lpfnHook = 0;
    std::string lpTemplateName;
};

// Names counted from 1, the way the callers number the chosen files.
class FileList {
public:
    std::int16_t count() const { return static_cast<std::int16_t>(names_.size()); }
    bool empty() const { return names_.empty(); }
    // index runs from 1 to count(); anything else throws std::out_of_range.
    const std::string& operator()(int index) const;
    void append(std::string name) { names_.push_back(std::move(name)); }

    auto begin() const { return names_.begin(); }
    auto end() const { return names_.end(); }

    friend bool operator==(const FileList&, const FileList&) = default;

private:
    std::vector<std::string> names_;
};

struct OpenResult {
    std::int16_t fileCount = 0;
    FileList files;             // files(1) .. files(fileCount)
    std::string folder;         // ends with the separator; empty when cancelled
    std::int16_t cancelled = 0; // -1 when the user cancelled, else 0
};

// What ShowOpen needs from the windowing system. The app installs the Qt one
// (chooser/qt/qt_dialog.h); tests install fakes.
class Platform {
public:
    virtual ~Platform() = default;
    virtual Handle windowInstance(Handle window) = 0;
    virtual std::int32_t currentThreadId() = 0;
    // Installs `hook` for every window of `thread`; returns its handle (0 on failure).
    virtual Handle installHook(HookProc hook, Handle instance, std::int32_t thread) = 0;
    // Runs the dialog. Returns nonzero when the user chose something, and then
    // has rewritten lpstrFile, lpstrFileTitle (each keeping its length) and
    // nFileOffset.
    virtual std::int32_t getOpenFileName(OpenFileName& params) = 0;
};

// Not owned; nullptr uninstalls.
void setPlatform(Platform* platform);

// Module state, as the hooks and the callers see it.
extern OpenFileName dialogParams;

// Values for ShowOpen's centerOnOwner: only -1 means the owner (so `true`,
// which converts to 1, means the screen).
inline constexpr std::int16_t kCenterOnOwner = -1;
inline constexpr std::int16_t kCenterOnScreen = 0;

// Shows the open dialog owned by `ownerWindow` and returns what was chosen.
// `separator` is the one the answer's paths use; only tests pass another.
OpenResult ShowOpen(Handle ownerWindow, std::int16_t centerOnOwner,
                    char separator = kPathSeparator);

// The reading of a dialog answer held in `params` (ok = the dialog's result).
OpenResult readAnswer(const OpenFileName& params, std::int32_t ok, char separator = kPathSeparator);

} // namespace quorvel::RUVIV_CommonDialog
