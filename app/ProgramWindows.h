#pragma once

#include "app/FormResources.h"
#include "app/InfoDialogs.h"
#include "app/MainDLG.h"
#include "app/StandInFont.h"
#include "app/TDeliveryDlg.h"
#include "app/TOutputDlg.h"
#include "app/TPersonnelServerDlg.h"
#include "app/TRequestLfdnrStringDLG.h"
#include "app/TSettingsDlg.h"

namespace pelvaro {

// The program's windows, created in start-up order and kept for the whole run.
struct ProgramWindows {
    // serialCalls: the serial port's system calls; the real ones unless a
    // test injects faults.
    ProgramWindows(UserDialogs& dialogs, const FileLocations& files,
                   const SerialSystemCalls* serialCalls = nullptr)
        : resources((registerFormResources(), true)), mainForm(dialogs, files, serialCalls),
          updateInfo(&mainForm) {
        mainForm.attachDialogs(settings, output, delivery, personnelServer, updateInfo, info);
        fitCaptions({&mainForm, &settings, &output, &delivery, &personnelServer, &labelPrompt,
                     &updateInfo, &info});
    }

    bool resources; // registered before any window loads an image
    TMainForm mainForm;
    TSettingsDlg settings;
    TOutputDlg output;
    TDeliveryDlg delivery;
    TPersonnelServerDlg personnelServer;
    TRequestLfdnrStringDLG labelPrompt;
    TIDD_Update_Info updateInfo; // centred over the main window
    TInfoDLG info;
};

} // namespace pelvaro
