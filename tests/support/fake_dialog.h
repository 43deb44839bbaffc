#pragma once

#include "chooser/common_dialog.h"
#include "chooser/dialog_answer.h"

#include <functional>
#include <string>
#include <vector>

namespace quorvel::fakes {

// Stands in for the open-file dialog: answers every ShowOpen with `names` in
// `folder` (no names: the user cancelled) and notes how it was asked. Installs
// itself for its lifetime and puts `restore` back afterwards.
class FakeDialog final : public RUVIV_CommonDialog::Platform {
public:
    explicit FakeDialog(RUVIV_CommonDialog::Platform* restore = nullptr) : restore_(restore) {
        RUVIV_CommonDialog::setPlatform(this);
    }
    ~FakeDialog() override { RUVIV_CommonDialog::setPlatform(restore_); }
    FakeDialog(const FakeDialog&) = delete;
    FakeDialog& operator=(const FakeDialog&) = delete;

    std::string folder;
    std::vector<std::string> names;
    std::function<void()> whileOpen; // runs while the dialog is up

    int shown = 0;
    RUVIV_CommonDialog::HookProc hook = nullptr;
    RUVIV_CommonDialog::OpenFileName asked; // the record as the dialog got it

    RUVIV_CommonDialog::Handle windowInstance(RUVIV_CommonDialog::Handle) override { return 1; }
    std::int32_t currentThreadId() override { return 1; }
    RUVIV_CommonDialog::Handle installHook(RUVIV_CommonDialog::HookProc procedure,
                                           RUVIV_CommonDialog::Handle, std::int32_t) override {
        hook = procedure;
        return 7;
    }
    std::int32_t getOpenFileName(RUVIV_CommonDialog::OpenFileName& params) override {
        ++shown;
        asked = params;
        if (whileOpen)
            whileOpen();
        if (names.empty())
            return 0;
        return RUVIV_CommonDialog::writeAnswer(folder, names, RUVIV_CommonDialog::kPathSeparator,
                                               params)
                   ? 1
                   : 0;
    }

private:
    RUVIV_CommonDialog::Platform* restore_;
};

} // namespace quorvel::fakes
