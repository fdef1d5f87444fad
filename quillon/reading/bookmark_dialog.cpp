// The list of bookmarks, newest first: Enter opens the article at the
// bookmark's line, Delete removes a bookmark after asking.
#include "dialogs.h"  // windows.h first

#include "bookmarks.h"
#include "prompt.h"
#include "resume_registry.h"
#include "user_texts.h"

namespace {

struct BookmarkList {
    HWND dialog = nullptr, list = nullptr;
    std::vector<Bookmark> marks;
};

BookmarkList *listOf(HWND dialog) {
    return reinterpret_cast<BookmarkList *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Reads the bookmarks anew (the article view may have changed them) and
// selects the entry at `position`, or the last.
void fill(BookmarkList &b, int position) {
    b.marks = registryBookmarkStore().load();
    SendMessageA(b.list, LB_RESETCONTENT, 0, 0);
    for (const Bookmark &mark : b.marks)
        SendMessageA(b.list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(bookmarkEntryText(mark).c_str()));
    int count = static_cast<int>(b.marks.size());
    if (count) SendMessageA(b.list, LB_SETCURSEL, position < count ? position : count - 1, 0);
}

int selected(const BookmarkList &b) {
    LRESULT i = SendMessageA(b.list, LB_GETCURSEL, 0, 0);
    return i == LB_ERR || i >= static_cast<LRESULT>(b.marks.size()) ? -1 : static_cast<int>(i);
}

void openSelected(BookmarkList &b) {
    int i = selected(b);
    if (i < 0) return;
    runBookmarkSelection(b.dialog, b.marks[static_cast<size_t>(i)]);
    fill(b, i);
    SetFocus(b.list);
}

// False when the list is empty afterwards: the dialog then ends.
bool deleteSelected(BookmarkList &b) {
    int i = selected(b);
    if (i < 0) return true;
    Bookmark gone = b.marks[static_cast<size_t>(i)];
    std::string question =
        formatText(userText(IDS_BOOKMARK_DELETE_QUESTION), bookmarkEntryText(gone).c_str());
    if (messageBox(b.dialog, question, userText(IDS_QUESTION_CAPTION),
                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return true;
    b.marks.erase(b.marks.begin() + i);
    if (!registryBookmarkStore().save(b.marks)) {
        messageBox(b.dialog, userText(IDS_BOOKMARK_NOT_SAVED), userText(IDS_ERROR_CAPTION),
                   MB_OK | MB_ICONERROR);
    } else {
        keepForBookmarks(g_binding, gone.place.file, b.marks);
    }
    fill(b, i);
    return !b.marks.empty();
}

INT_PTR CALLBACK bookmarksProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    BookmarkList *b = listOf(dialog);
    switch (message) {
        case WM_INITDIALOG:
            b = reinterpret_cast<BookmarkList *>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            b->dialog = dialog;
            b->list = GetDlgItem(dialog, IDC_BOOKMARKLIST);
            setAccessibleName(b->list, userText(IDS_NAME_BOOKMARKS));
            SendMessageA(b->list, LB_SETHORIZONTALEXTENT, 2000, 0);
            fill(*b, 0);
            SetFocus(b->list);
            return FALSE;  // the focus is set
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    openSelected(*b);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 2);
                    return TRUE;
                case IDC_BOOKMARKLIST:
                    if (HIWORD(wParam) == LBN_DBLCLK) openSelected(*b);
                    return TRUE;
            }
            break;
        case WM_VKEYTOITEM:
            // Answered directly: -1 is the list's default action, -2 a key
            // taken here.
            if (LOWORD(wParam) != VK_DELETE) return -1;
            if (!deleteSelected(*b)) EndDialog(dialog, 0);
            return -2;
        case WM_CHARTOITEM:
            return -1;  // otherwise the list jumps to its first entry
        case WM_DESTROY:
            if (b) clearAccessibleName(b->list);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR runBookmarksDialog(HWND owner) {
    BookmarkList b;
    if (registryBookmarkStore().load().empty()) {
        messageBox(owner, userText(IDS_BOOKMARKS_NONE), userText(IDS_NOTICE_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_BOOKMARKS), owner, bookmarksProc,
                           reinterpret_cast<LPARAM>(&b));
}
