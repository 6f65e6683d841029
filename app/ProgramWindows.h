#pragma once

#include "FormResources.h"
#include "InfoDialogs.h"
#include "MainDLG.h"
#include "TRequestLfdnrStringDLG.h"
#include "TSettingsDlg.h"

namespace pelvaro {

// The program's windows, created in start-up order and kept for the whole run.
struct ProgramWindows {
    ProgramWindows(UserDialogs& dialogs, const QString& programDirectory)
        : resources((registerFormResources(), true)), mainForm(dialogs, programDirectory),
          updateInfo(&mainForm) {
        mainForm.attachDialogs(settings, updateInfo, info);
    }

    bool resources; // registered before any window loads an image
    TMainForm mainForm;
    TSettingsDlg settings;
    TRequestLfdnrStringDLG labelPrompt;
    TIDD_Update_Info updateInfo; // centred over the main window
    TInfoDLG info;
};

} // namespace pelvaro
