// Resource numbers of quillon: icons, menu, dialogs, controls, commands and
// the string table. Included by the resource script and by the program.
#ifndef QUILLON_RESOURCE_H
#define QUILLON_RESOURCE_H

// Icons, menu and accelerators.
#define IDI_QUILLON 107
#define IDI_SMALL 108
#define IDC_QUILLON 109  // menu and accelerator table

// Dialogs.
#define IDD_ABOUTBOX 103
#define IDD_SELECTION 130
#define IDD_ARTICLEVIEW 131
#define IDD_DOWNLOAD 135
#define IDD_PAPERCOUNT 136
#define IDD_SEARCH 137
#define IDD_USERID 138
#define IDD_COPYPROGRESS 139

// Controls.
#define IDC_ENTRYLIST 1000
#define IDC_ARTICLETEXT 1007
#define IDC_SEARCHTEXT 1015
#define IDC_STATIC -1

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_READ 32772
#define IDM_FETCH_NEW 32775
#define IDM_FETCH_ALL 32776
#define IDM_PAPERCOUNT 32779
#define IDM_FIND 32781
#define IDM_SAVE 32782
#define IDM_DELETE 32783
#define IDM_HELP_CONTENTS 32785
#define IDM_USERID 32786
#define IDM_SYNC 32787
#define IDM_INSTALL 32788

// String table. Four texts keep the numbers they are known by elsewhere:
// 152 "Hinweis", 169 "Fehler", 189 and 190 the handheld menu entries.
#define IDS_APP_TITLE 200
#define IDS_WINDOW_CLASS 201
#define IDS_WRONG_SYSTEM 202
#define IDS_BIND_FAILED 203
#define IDS_INIT_FAILED 204
#define IDS_FATAL_CAPTION 205
#define IDS_PLUGIN_CAPTION 206
#define IDS_DLL_NOT_LOADED 207
#define IDS_SLOT_MISSING 208
#define IDS_LEAVE_QUESTION 209
#define IDS_MENU_USERID 210
#define IDS_MENU_SYNC 189
#define IDS_MENU_INSTALL 190
#define IDS_HELP_FILE 213
#define IDS_SELECTION_TITLE 220
#define IDS_RESORT_LABEL 221
#define IDS_ARTICLE_LABEL 222
#define IDS_RESORT_CAPTION 223
#define IDS_ARTICLE_CAPTION 224
#define IDS_NO_NEWSPAPERS 225
#define IDS_NOTICE_CAPTION 152
#define IDS_ERROR_CAPTION 169
#define IDS_SELECT_SOMETHING 227
#define IDS_DELETE_QUESTION 228
#define IDS_WARNING_CAPTION 229
#define IDS_ARTICLE_END 230
#define IDS_ARTICLE_VIEW_TITLE 231
#define IDS_ENTRY_SEPARATOR 232
#define IDS_HITS_FOUND 240
#define IDS_NOTHING_FOUND 241
#define IDS_SEARCH_RESORT_CAPTION 242
#define IDS_SEARCH_ARTICLE_CAPTION 243
#define IDS_SAVE_TITLE 250
#define IDS_SAVE_FILTER_NAME 251
#define IDS_SAVE_FILTER_PATTERN 252
#define IDS_SAVE_EXTENSION 253
#define IDS_OVERWRITE_QUESTION 254
#define IDS_WRITE_FAILED 255
#define IDS_HELP_CAPTION 260
#define IDS_HELP_CONTENTS 261
// Help texts shown when the help viewer or its file is missing: the topic
// number divided by 1000, added to this base.
#define IDS_HELP_TOPIC_BASE 270

#define IDS_FIRST 150
#define IDS_LAST 299

#endif
