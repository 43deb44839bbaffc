#pragma once

// Form1 is the program's one window. How things flow:
//
//   user action ──> a handler below (list change, output option, source box
//                   losing the focus, the "..." button)
//                      │
//                      ├─> browseClicked ─> chooseAviFile (chooser/): the file
//                      │     dialog, then the path into Text1 and fileInfo below
//                      │
//                      ├─> applyRecalculationRule ─> calcResize ─> computeResize
//                      │     (core, resize/): pure arithmetic from the two source
//                      │     texts, the output option and `format`; it hands back
//                      │     `fps` and the result-box writes, applied here in order.
//                      │
//                      └─> fileInfo (source/): the AVI reader gives a record,
//                            showSourceInfo fills the source boxes and options,
//                            which sets off the handlers above once more.
//
// The controls come from one constant table (app/layout.h), built by
// app/layout_builder.h, with the tab order of app/focus_policy.h. A source
// box's loss of focus reaches sourceBoxLeft through app/focus_loss_filter.h.
// Failures come back as values; a handler tells the user once per action
// (app/message_rule.h), and "..." traps what its road raises (chooser/browse.h).

#include "app/message_rule.h"
#include "resize/calc.h"
#include "source/avi/file_info.h"

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvel {

class FocusLossFilter;

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);

    // Position of the chosen format entry; unset until the first choice.
    std::optional<int> format;
    // Output rate code written by calcResize: 1 PAL, 2 NTSC film, 3 NTSC video.
    std::int16_t fps = 0;

    // Recomputes the four result boxes from the window's inputs. On failure
    // nothing has changed and the error says which source box is wrong.
    ResizeError calcResize();

    // Reads the AVI file at `path` (the file system's bytes, as the dialog
    // gave them) and shows its size, rate class and the DVD sizes. An open or
    // read failure is told here; a failure while showing the record is left
    // to the caller, after the file has been released.
    FileInfoOutcome fileInfo(const std::string& path);

    void setMessageSink(MessageSink sink);
    // Null puts the real library back.
    void setAviLibrary(avifile::AviLibrary* library);

private:
    void wireControls();
    void onLoad();

    void browseClicked();
    void formatChosen(int index);
    void outputOptionToggled(bool selected);
    void sourceBoxLeft();
    void endProgram();

    SourceOutcome showSourceInfo(const avifile::AVIFILEINFO& record);
    ResizeError applyRecalculationRule();
    void runTrigger();
    void reportSourceError(ResizeError error, const QString& text);
    void syncOutputOptionFocus();
    QLineEdit* resultBox(ResultBox box) const;

    QPushButton* btnBrowse_ = nullptr;
    QPushButton* command1_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* txtSW_ = nullptr;
    QLineEdit* txtSH_ = nullptr;
    QLineEdit* txtOWM_ = nullptr;
    QLineEdit* txtOHM_ = nullptr;
    QLineEdit* txtOWT_ = nullptr;
    QLineEdit* txtOHT_ = nullptr;
    QRadioButton* opSP_ = nullptr;
    QRadioButton* opSNT1_ = nullptr;
    QRadioButton* opSNT2_ = nullptr;
    QRadioButton* opOPal_ = nullptr;
    QRadioButton* opONT1_ = nullptr;
    QRadioButton* opONT2_ = nullptr;
    QComboBox* boxFormat_ = nullptr;

    MessageRule messages_;
    FocusLossFilter* focusLoss_ = nullptr;
    avifile::AviLibrary* aviLibrary_ = nullptr;
    // While a file is shown its road reports for it, once.
    bool showingSource_ = false;
    // The source texts last found wrong and told: leaving a box again with the
    // same texts says nothing more while the user is fixing them.
    std::optional<std::pair<QString, QString>> toldAbout_;
};

} // namespace quorvel
