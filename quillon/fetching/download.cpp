// Starting a fetch and telling the user what the library reports.
#include "download.h"

#include "prompt.h"
#include "store_notices.h"
#include "user_texts.h"

int g_downloadMode = 0;

int statusErrorText(intptr_t code) {
    switch (code) {
        case QL_STATUS_NOMODEM:
            return IDS_STATUS_NOMODEM;
        case QL_STATUS_NOMODEMPOSTMASTER:
            return IDS_STATUS_NOMODEMPOSTMASTER;
        case QL_STATUS_NOFTPPOSTMASTER:
            return IDS_STATUS_NOFTPPOSTMASTER;
        case QL_STATUS_PIPEERROR:
            return IDS_STATUS_PIPEERROR;
        case QL_STATUS_TRANSMISSIONERROR:
            return IDS_STATUS_TRANSMISSIONERROR;
        case QL_STATUS_PHONEBUSY:
            return IDS_STATUS_PHONEBUSY;
        case QL_STATUS_NOPICKUP:
            return IDS_STATUS_NOPICKUP;
        case QL_STATUS_ACCESSDENIED:
            return IDS_STATUS_ACCESSDENIED;
        case QL_STATUS_ERROR:
            return IDS_STATUS_ERROR;
        case QL_STATUS_POSTMASTERSTARTUPERROR:
            return IDS_STATUS_POSTMASTERSTARTUPERROR;
    }
    return 0;
}

bool DownloadController::start() {
    library_.registerCallback(host_.hostWindow(), kHostNotifyMessage);
    void *owner = host_.window();
    const char *title = userText(IDS_APP_TITLE);
    if (g_enhanced) {
        if (unsigned long size = host_.updateOffer()) {
            std::string question =
                formatText(userText(IDS_UPDATE_QUESTION), static_cast<int>(size));
            if (messageBox(owner, question, title, MB_YESNO) == IDYES && library_.wantUpdate)
                library_.wantUpdate();
        }
    }
    for (int r = library_.getNewspaper(g_downloadMode);;) {
        switch (r) {
            case QL_OK:
                return true;
            case QL_ERR_BUSY:
                messageBox(owner, userText(IDS_FETCH_BUSY), title, MB_OK | MB_ICONWARNING);
                break;
            case QL_ERR_UP_TO_DATE:
                if (messageBox(owner, userText(IDS_FETCH_AGAIN), title,
                               MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES) {
                    g_downloadMode = 1;
                    r = library_.getNewspaper(1);
                    continue;
                }
                break;
            default:
                messageBox(owner, formatText(userText(IDS_NUMBER), static_cast<long>(r)), title,
                           MB_OK | MB_ICONWARNING);
                break;
        }
        library_.registerCallback(nullptr, 0);
        finish(0);
        return false;
    }
}

void DownloadController::notify(uintptr_t category, intptr_t code) {
    if (ended_) return;
    if (category == QL_NOTIFY_PROGRESS) {
        host_.setProgress(static_cast<int>(code & 0xFFFF));
        return;
    }
    if (category != QL_NOTIFY_STATUS) return;
    void *owner = host_.window();
    const char *notice = userText(IDS_NOTICE_CAPTION);
    switch (code) {
        case QL_STATUS_NP_PRESENT:
            if (g_enhanced) messageBox(owner, userText(IDS_STATUS_NP_PRESENT), notice, MB_OK);
            return;
        case QL_STATUS_TRANSMISSIONCOMPLETE:
            messageBox(owner, userText(IDS_STATUS_TRANSMISSIONCOMPLETE), notice, MB_OK);
            return;
        case QL_STATUS_DORESYNC:
            library_.resyncNewspaper();
            // The download's last word: what was not taken, what was removed.
            tellStoreReport(library_, owner, host_.paperLimit());
            finish(0);
            return;
    }
    if (int text = statusErrorText(code))
        messageBox(owner, userText(text), userText(IDS_ERROR_CAPTION), MB_OK | MB_ICONERROR);
}

void DownloadController::cancel() {
    if (ended_) return;
    ended_ = true;
    if (library_.cancelDownload) library_.cancelDownload();
    messageBox(host_.window(), userText(IDS_FETCH_CANCELLED), userText(IDS_NOTICE_CAPTION),
               MB_OK | MB_ICONWARNING);
    host_.end(2);
}

void DownloadController::destroyed() { library_.registerCallback(nullptr, 0); }

void DownloadController::finish(int result) {
    ended_ = true;
    host_.end(result);
}
