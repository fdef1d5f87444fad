; The installer of Vantrel Quillon: puts quillon.exe, qlapi.dll and the handbook into a
; folder of the current user (no administrator rights), asks once for the
; subscription and writes it where the library reads it (the registry
; configuration under HKCU\Software\VKT\QLAPI), and registers an
; uninstaller. Every page is a standard dialog of the Modern UI or plain
; nsDialogs controls, so a screen reader follows it as it follows the reader.
;
;   makensis -DBINDIR=<folder with quillon.exe and qlapi.dll> -DOUTFILE=<setup.exe>
;            [-DVERSION=<x.y.z>] quillon.nsi
;
; The version is taken from quillon.exe's version information, which the
; build writes from the project version; -DVERSION only names an installer
; differently (the upgrade test builds an "older" one).
;
; Silent set-up: quillon-setup.exe /S [/URL=...] [/LOGIN=...] [/PATH=...]
; [/KEEP=n] [/NODESKTOP] [/TASK|/NOTASK] [/D=folder]. Values not given keep the present
; configuration. Outcomes and refusals are logged in %TEMP%\quillon-setup.log;
; a refused set-up ends with exit code 2 and writes nothing.
; Silent removal: uninstall.exe /S [/PURGE].

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!ifndef BINDIR
  !error "usage: makensis -DBINDIR=<folder with quillon.exe and qlapi.dll> -DOUTFILE=<setup.exe> quillon.nsi"
!endif
!ifndef OUTFILE
  !error "usage: makensis -DBINDIR=<folder with quillon.exe and qlapi.dll> -DOUTFILE=<setup.exe> quillon.nsi"
!endif

; Both files must carry the same version; it is the product's.
!getdllversion "${BINDIR}/quillon.exe" PROGRAM_
!getdllversion "${BINDIR}/qlapi.dll" LIBRARY_
!if "${PROGRAM_1}.${PROGRAM_2}.${PROGRAM_3}" != "${LIBRARY_1}.${LIBRARY_2}.${LIBRARY_3}"
  !error "quillon.exe and qlapi.dll carry different versions"
!endif
!ifndef VERSION
  !define VERSION "${PROGRAM_1}.${PROGRAM_2}.${PROGRAM_3}"
!endif

!define PRODUCT "Vantrel Quillon"
!define PUBLISHER "Vantrel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"
; The library's registry configuration, and the reader's own settings (with
; the newspaper folder this installer made, kept as long as the settings).
!define LIBRARY_KEY "Software\VKT\QLAPI"
!define READER_KEY "Software\VKT\Quillon"
; The reader's choices of automatic fetching; quillon.exe /aufgabe makes the
; scheduled task follow its value `Task`.
!define FETCH_KEY "Software\VKT\Quillon\Fetch"
!define SHORTCUT "Vantrel Quillon.lnk"
; The class of quillon's main window: while it exists, the program runs.
!define MAIN_WINDOW_CLASS "ORATEL"
!define LOG_FILE "$TEMP\quillon-setup.log"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quillon"
; An upgrade goes where the last installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1031 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1031 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "© ${PUBLISHER}. Alle Rechte vorbehalten."
VIAddVersionKey /LANG=1031 "FileDescription" "Installation von ${PRODUCT}"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"

; The subscription, from the page or the command line.
Var Url
Var Login
Var Folder
Var Keep
; 1: the Task Scheduler fetches daily while the reader is not running.
Var Task
; The newspaper folder this installer made (only that one is ever removed).
Var MadeFolder
Var Purge
; Controls of the two pages of our own.
Var UrlField
Var LoginField
Var FolderField
Var KeepField
Var TaskBox
Var PurgeBox

!define MUI_ICON "${__FILEDIR__}/../quillon/resources/quillon.ico"
!define MUI_UNICON "${__FILEDIR__}/../quillon/resources/quillon.ico"
; Escape asks before it cancels, and "Nein" is the default answer there, so
; a stray Enter does not end the set-up.
!define MUI_ABORTWARNING
!define MUI_ABORTWARNING_CANCEL_DEFAULT
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "Dieser Assistent installiert ${PRODUCT} ${VERSION}, den Zeitungsleser, für Ihr Benutzerkonto. Administratorrechte sind nicht nötig.$\r$\n$\r$\nHalten Sie die Adresse Ihres Abonnement-Servers und Ihre Benutzerkennung bereit.$\r$\n$\r$\nDie Eingabetaste wählt „Weiter“, Escape bricht ab."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom SubscriptionPage SubscriptionPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} ist installiert. Strg+Alt+Q startet das Programm jederzeit.$\r$\n$\r$\nDie Eingabetaste wählt „Fertigstellen“ und schließt den Assistenten."
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillon.exe"
!define MUI_FINISHPAGE_RUN_TEXT "${PRODUCT} jetzt starten"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.RemovalPage un.RemovalPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "German"

; ---------------------------------------------------------------- shared

; One line with date and time in the set-up log, for whoever scripted the
; set-up: a silent run has no other voice.
!macro LOG_FUNCTION un
Function ${un}WriteLog
    Exch $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    Push $7
    ${${un}GetTime} "" "L" $1 $2 $3 $4 $5 $6 $7
    ClearErrors
    FileOpen $4 "${LOG_FILE}" a
    ${IfNot} ${Errors}
        FileSeek $4 0 END
        FileWrite $4 "$3-$2-$1 $5:$6:$7 quillon-setup ${VERSION}: $0$\r$\n"
        FileClose $4
    ${EndIf}
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro LOG_FUNCTION ""
!insertmacro LOG_FUNCTION "un."
!define Log "!insertmacro LOG_LINE"
!macro LOG_LINE text
    Push "${text}"
    !ifdef __UNINSTALL__
        Call un.WriteLog
    !else
        Call WriteLog
    !endif
!macroend

; Files cannot be replaced or removed halfway while the program runs: ask
; the reader to end it first. Sets the error flag when they would rather
; not (and always when silent, where nobody can be asked).
!macro RUNNING_FUNCTION un
Function ${un}EnsureNotRunning
    ClearErrors
  again:
    FindWindow $0 "${MAIN_WINDOW_CLASS}"
    StrCmp $0 0 0 +2
    Return
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PRODUCT} läuft noch. Bitte beenden Sie das Programm (Alt+F4) und wählen Sie dann „Wiederholen“." \
        /SD IDCANCEL IDRETRY again
    SetErrors
FunctionEnd
!macroend
!insertmacro RUNNING_FUNCTION ""
!insertmacro RUNNING_FUNCTION "un."

; Cuts blanks from both ends of $0.
Function Trim
    ${Do}
        StrCpy $1 $0 1
        ${IfThen} $1 != " " ${|} ${ExitDo} ${|}
        StrCpy $0 $0 "" 1
    ${Loop}
    ${Do}
        StrCpy $1 $0 1 -1
        ${IfThen} $1 != " " ${|} ${ExitDo} ${|}
        StrCpy $0 $0 -1
    ${Loop}
FunctionEnd

; ---------------------------------------------------------------- install

Section "${PRODUCT}" SecProgram
    SectionIn RO
    Call EnsureNotRunning
    ${If} ${Errors}
        ${Log} "nicht installiert: ${PRODUCT} läuft noch"
        DetailPrint "${PRODUCT} läuft noch; es wurde nichts geändert."
        Abort
    ${EndIf}

    SetOutPath "$INSTDIR"
    ; The program, its library and the handbook, which any editor opens.
    File "${BINDIR}/quillon.exe"
    File "${BINDIR}/qlapi.dll"
    File "${BINDIR}/Handbuch.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The subscription, where the library reads it when the program starts.
    WriteRegStr HKCU "${LIBRARY_KEY}" "Method" "PHP"
    WriteRegStr HKCU "${LIBRARY_KEY}" "URL" "$Url"
    WriteRegStr HKCU "${LIBRARY_KEY}" "Login" "$Login"
    WriteRegStr HKCU "${LIBRARY_KEY}" "PATH" "$Folder"
    WriteRegDWORD HKCU "${LIBRARY_KEY}" "maxpapers" "$Keep"
    ; The daily task, registered or removed by the program itself through
    ; the Task Scheduler, as its own settings dialog does.
    WriteRegDWORD HKCU "${FETCH_KEY}" "Task" "$Task"
    ExecWait '"$INSTDIR\quillon.exe" /aufgabe' $0
    ${If} $0 != 0
    ${AndIf} $Task = 1
        ${Log} "Aufgabe zum täglichen Abholen nicht eingetragen ($0)"
        WriteRegDWORD HKCU "${FETCH_KEY}" "Task" 0
        MessageBox MB_OK|MB_ICONEXCLAMATION \
            "Die Aufgabenplanung hat die Aufgabe zum täglichen Abholen nicht angenommen; Quillon holt nur ab, während es läuft." \
            /SD IDOK
    ${EndIf}
    ${IfNot} ${FileExists} "$Folder\*.*"
        ClearErrors
        CreateDirectory "$Folder"
        ${If} ${Errors}
            ${Log} "Ordner $Folder konnte nicht angelegt werden"
            MessageBox MB_OK|MB_ICONEXCLAMATION \
                "Der Ordner für die Zeitungen, $Folder, konnte nicht angelegt werden. Bis er da ist, kann Quillon keine Zeitungen abholen; wählen Sie bei einer neuen Installation einen anderen Ordner." \
                /SD IDOK
        ${Else}
            WriteRegStr HKCU "${READER_KEY}" "NewspaperFolder" "$Folder"
        ${EndIf}
    ${EndIf}

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillon.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
    ${Log} "installiert in $INSTDIR; Zeitungen in $Folder"
SectionEnd

; A shortcut to the program in FOLDER, with the hot key KEY ("" for none;
; NSIS takes the key only as written here).
!macro SHORTCUT FOLDER KEY
    CreateShortcut "${FOLDER}\${SHORTCUT}" "$INSTDIR\quillon.exe" "" \
        "$INSTDIR\quillon.exe" 0 SW_SHOWNORMAL "${KEY}" "Zeitungen lesen"
!macroend

Section "Verknüpfung auf dem Desktop (Strg+Alt+Q)" SecDesktop
    SetShellVarContext current
    !insertmacro SHORTCUT "$DESKTOP" CONTROL|ALT|Q
SectionEnd

; Ctrl+Alt+Q starts the program from the desktop shortcut, or from the
; Start menu entry when there is no desktop shortcut.
Section "-Start menu"
    SetShellVarContext current
    ${If} ${SectionIsSelected} ${SecDesktop}
        !insertmacro SHORTCUT "$SMPROGRAMS" ""
    ${Else}
        !insertmacro SHORTCUT "$SMPROGRAMS" CONTROL|ALT|Q
        ; An earlier installation's desktop shortcut would hold the same key.
        Delete "$DESKTOP\${SHORTCUT}"
    ${EndIf}
SectionEnd

; The present configuration, or the defaults; then the command line's
; values over it when silent.
Function .onInit
    SetShellVarContext current
    ReadRegStr $Url HKCU "${LIBRARY_KEY}" "URL"
    ReadRegStr $Login HKCU "${LIBRARY_KEY}" "Login"
    ReadRegStr $Folder HKCU "${LIBRARY_KEY}" "PATH"
    ReadRegDWORD $Keep HKCU "${LIBRARY_KEY}" "maxpapers"
    ${If} $Folder == ""
        StrCpy $Folder "$DOCUMENTS\Zeitungen"
    ${EndIf}
    ${If} $Keep == ""
    ${OrIf} $Keep = 0
        StrCpy $Keep 10
    ${EndIf}
    ; Off unless the reader chose it before.
    ReadRegDWORD $Task HKCU "${FETCH_KEY}" "Task"
    ${If} $Task != 1
        StrCpy $Task 0
    ${EndIf}
    ${IfNot} ${Silent}
        Return
    ${EndIf}

    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/NODESKTOP" $0
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecDesktop}
    ${EndIf}
    ; Bare flags; GetOptions would split the address at its slashes.
    StrCpy $1 "/TASK"
    Call GetOption
    ${IfNot} ${Errors}
        StrCpy $Task 1
    ${EndIf}
    StrCpy $1 "/NOTASK"
    Call GetOption
    ${IfNot} ${Errors}
        StrCpy $Task 0
    ${EndIf}
    StrCpy $1 "/URL="
    Call GetOption
    ${IfNot} ${Errors}
        StrCpy $Url $0
    ${EndIf}
    StrCpy $1 "/LOGIN="
    Call GetOption
    ${IfNot} ${Errors}
        StrCpy $Login $0
    ${EndIf}
    StrCpy $1 "/PATH="
    Call GetOption
    ${IfNot} ${Errors}
        StrCpy $Folder $0
    ${EndIf}
    StrCpy $1 "/KEEP="
    Call GetOption
    ${IfNot} ${Errors}
        StrCpy $Keep $0
    ${EndIf}
    Call CheckSubscription
    ${If} $R9 != ""
        ${Log} "nicht installiert: $R9 ($R8)"
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

; The value of the option $1 (such as "/URL=", any case) on the command
; line $R0, in $0; the error flag when it is not there. The value runs to the
; next option or the end, or stands in quotes: /PATH="C:\Meine Zeitungen" as
; typed, or "/PATH=C:\Meine Zeitungen" as a program quotes it. (FileFunc's
; GetOptions would cut an address at its first slash.)
Function GetOption
    StrLen $2 $1
    StrLen $3 $R0
    StrCpy $4 0
    ${Do}
        ${If} $4 >= $3
            SetErrors
            Return
        ${EndIf}
        StrCpy $5 $R0 $2 $4
        StrCpy $6 ""
        ${If} $4 > 0
            IntOp $6 $4 - 1
            StrCpy $6 $R0 1 $6
        ${EndIf}
        ${If} $5 == $1
            ${If} $6 == ""
            ${OrIf} $6 == " "
            ${OrIf} $6 == "$\""
                ${ExitDo}
            ${EndIf}
        ${EndIf}
        IntOp $4 $4 + 1
    ${Loop}
    IntOp $4 $4 + $2
    StrCpy $0 $R0 "" $4
    ${If} $6 != "$\""
        StrCpy $6 $0 1
        ${If} $6 == "$\""
            StrCpy $0 $0 "" 1
        ${EndIf}
    ${EndIf}
    ; $6 is the opening quote, or something else for a bare value.
    StrLen $7 $0
    StrCpy $4 0
    ${DoWhile} $4 < $7
        StrCpy $5 $0 1 $4
        ${If} $6 == "$\""
            ${IfThen} $5 == "$\"" ${|} ${ExitDo} ${|}
        ${Else}
            StrCpy $5 $0 2 $4
            ${IfThen} $5 == " /" ${|} ${ExitDo} ${|}
            StrCpy $5 $0 3 $4
            ${IfThen} $5 == " $\"/" ${|} ${ExitDo} ${|}
        ${EndIf}
        IntOp $4 $4 + 1
    ${Loop}
    StrCpy $0 $0 $4
    ClearErrors
FunctionEnd

; Tidies the four values and says in $R9 what is wrong with them ("" when
; nothing), and in $R8 which value (the command-line option).
Function CheckSubscription
    StrCpy $0 $Url
    Call Trim
    StrCpy $Url $0
    StrCpy $0 $Login
    Call Trim
    StrCpy $Login $0
    StrCpy $0 $Folder
    Call Trim
    ; The library appends the backslash itself; "C:\" stays a root.
    ${Do}
        StrLen $1 $0
        StrCpy $2 $0 1 -1
        ${IfThen} $2 != "\" ${|} ${ExitDo} ${|}
        ${IfThen} $1 <= 3 ${|} ${ExitDo} ${|}
        StrCpy $0 $0 -1
    ${Loop}
    StrCpy $Folder $0
    StrCpy $R9 ""
    StrLen $1 $Url
    StrLen $2 $Login
    StrLen $3 $Folder
    StrCpy $4 $Folder 2 1  ; ":\" after a drive letter
    StrCpy $5 $Folder 2    ; "\\" before a server name
    ${If} $Url == ""
        StrCpy $R9 "Die Adresse des Abonnement-Servers fehlt."
        StrCpy $R8 "/URL="
    ${ElseIf} $1 > 511
        StrCpy $R9 "Die Adresse des Abonnement-Servers ist zu lang."
        StrCpy $R8 "/URL="
    ${ElseIf} $Login == ""
        StrCpy $R9 "Die Benutzerkennung fehlt."
        StrCpy $R8 "/LOGIN="
    ${ElseIf} $2 > 127
        StrCpy $R9 "Die Benutzerkennung ist zu lang."
        StrCpy $R8 "/LOGIN="
    ${ElseIf} $Folder == ""
        StrCpy $R9 "Der Ordner für die Zeitungen fehlt."
        StrCpy $R8 "/PATH="
    ${ElseIf} $4 != ":\"
    ${AndIf} $5 != "\\"
        StrCpy $R9 "Der Ordner für die Zeitungen muss ein vollständiger Pfad sein, zum Beispiel C:\Zeitungen."
        StrCpy $R8 "/PATH="
    ${ElseIf} $3 > 250
        StrCpy $R9 "Der Pfad des Ordners für die Zeitungen ist zu lang."
        StrCpy $R8 "/PATH="
    ${Else}
        ; Digits only, 1 to 255.
        StrCpy $6 $Keep
        IntOp $7 $Keep + 0
        ${If} "$7" != "$6"
        ${OrIf} $7 < 1
        ${OrIf} $7 > 255
            StrCpy $R9 "Die Zahl der Zeitungen muss zwischen 1 und 255 liegen."
            StrCpy $R8 "/KEEP="
        ${EndIf}
    ${EndIf}
FunctionEnd

; The subscription page: four labelled fields, top to bottom, each label
; right before its field, so a screen reader names the field by it; then
; the choice of fetching while the reader is not running.
Function SubscriptionPage
    !insertmacro MUI_HEADER_TEXT "Abonnement" "Wo Quillon Ihre Zeitungen abholt und aufbewahrt."
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 10u "&Adresse des Abonnement-Servers:"
    Pop $0
    ${NSD_CreateText} 0 11u 100% 12u "$Url"
    Pop $UrlField
    ${NSD_CreateLabel} 0 30u 100% 10u "Benutzer&kennung:"
    Pop $0
    ${NSD_CreateText} 0 41u 100% 12u "$Login"
    Pop $LoginField
    ${NSD_CreateLabel} 0 60u 100% 10u "&Ordner für die Zeitungen:"
    Pop $0
    ${NSD_CreateDirRequest} 0 71u -65u 12u "$Folder"
    Pop $FolderField
    ${NSD_CreateBrowseButton} -60u 70u 60u 14u "D&urchsuchen..."
    Pop $0
    ${NSD_OnClick} $0 ChooseFolder
    ${NSD_CreateLabel} 0 90u 100% 10u "Zahl der auf&bewahrten Zeitungen (1 bis 255):"
    Pop $0
    ${NSD_CreateNumber} 0 101u 40u 12u "$Keep"
    Pop $KeepField
    ${NSD_CreateCheckbox} 0 120u 100% 12u "Täglich abholen, auch wenn Quillon nicht &läuft (Aufgabenplanung)"
    Pop $TaskBox
    ${If} $Task = 1
        ${NSD_Check} $TaskBox
    ${EndIf}
    ${NSD_SetFocus} $UrlField
    nsDialogs::Show
FunctionEnd

Function ChooseFolder
    ${NSD_GetText} $FolderField $0
    nsDialogs::SelectFolderDialog "Ordner für die Zeitungen wählen" "$0"
    Pop $0
    ${If} $0 != error
        ${NSD_SetText} $FolderField "$0"
    ${EndIf}
FunctionEnd

; A missing or wrong value keeps the page open, says what is wrong and puts
; the caret into that field.
Function SubscriptionPageLeave
    ${NSD_GetText} $UrlField $Url
    ${NSD_GetText} $LoginField $Login
    ${NSD_GetText} $FolderField $Folder
    ${NSD_GetText} $KeepField $Keep
    ${NSD_GetState} $TaskBox $0
    ${If} $0 = ${BST_CHECKED}
        StrCpy $Task 1
    ${Else}
        StrCpy $Task 0
    ${EndIf}
    Call CheckSubscription
    ${If} $R9 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$R9"
        ${If} $R8 == "/URL="
            ${NSD_SetFocus} $UrlField
        ${ElseIf} $R8 == "/LOGIN="
            ${NSD_SetFocus} $LoginField
        ${ElseIf} $R8 == "/PATH="
            ${NSD_SetFocus} $FolderField
        ${Else}
            ${NSD_SetFocus} $KeepField
        ${EndIf}
        Abort
    ${EndIf}
    ; Asked here, before anything is written, and again when installing.
    Call EnsureNotRunning
    ${If} ${Errors}
        Abort
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------- uninstall

Function un.onInit
    StrCpy $Purge 0
    ${un.GetParameters} $R0
    ClearErrors
    ${un.GetOptions} $R0 "/PURGE" $0
    ${IfNot} ${Errors}
        StrCpy $Purge 1
    ${EndIf}
FunctionEnd

Function un.RemovalPage
    !insertmacro MUI_HEADER_TEXT "Zeitungen und Einstellungen" "Was außer dem Programm entfernt wird."
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 30u "Ohne Häkchen bleiben die gespeicherten Zeitungen und Ihre Einstellungen erhalten. Mit Häkchen werden die Einstellungen entfernt und die Zeitungen in dem Ordner, den die Installation angelegt hat; Ihre anderen Dateien bleiben."
    Pop $0
    ${NSD_CreateCheckbox} 0 36u 100% 12u "Zeitungen und Einstellungen entfernen"
    Pop $PurgeBox
    ${If} $Purge = 1
        ${NSD_Check} $PurgeBox
    ${EndIf}
    ${NSD_SetFocus} $PurgeBox
    nsDialogs::Show
FunctionEnd

Function un.RemovalPageLeave
    ${NSD_GetState} $PurgeBox $0
    ${If} $0 = ${BST_CHECKED}
        StrCpy $Purge 1
    ${Else}
        StrCpy $Purge 0
    ${EndIf}
    Call un.EnsureNotRunning
    ${If} ${Errors}
        Abort
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.EnsureNotRunning
    ${If} ${Errors}
        ${Log} "nicht entfernt: ${PRODUCT} läuft noch"
        DetailPrint "${PRODUCT} läuft noch; es wurde nichts entfernt."
        Abort
    ${EndIf}
    ReadRegStr $MadeFolder HKCU "${READER_KEY}" "NewspaperFolder"
    ; The daily task runs the program that goes now.
    ExecWait '"$INSTDIR\quillon.exe" /aufgabe-entfernen'

    ; Only what the installer put there; the folder goes only when empty.
    Delete "$INSTDIR\quillon.exe"
    Delete "$INSTDIR\qlapi.dll"
    Delete "$INSTDIR\Handbuch.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${SHORTCUT}"
    Delete "$DESKTOP\${SHORTCUT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    ${If} $Purge = 1
        ; The library's own files in the folder this installer made, never
        ; in a folder the setting points to now: that may hold anything.
        ${If} $MadeFolder != ""
            Delete "$MadeFolder\*.eif"
            Delete "$MadeFolder\*.ehd"
            Delete "$MadeFolder\*.eif.tmp"
            Delete "$MadeFolder\*.ehd.tmp"
            Delete "$MadeFolder\*.eif.part"
            Delete "$MadeFolder\qlapi.log"
            RMDir "$MadeFolder"
        ${EndIf}
        DeleteRegKey HKCU "${LIBRARY_KEY}"
        DeleteRegKey HKCU "${READER_KEY}"
        DeleteRegKey /ifempty HKCU "Software\VKT"
        ${Log} "entfernt, mit Zeitungen und Einstellungen"
    ${Else}
        ${Log} "entfernt; Zeitungen und Einstellungen bleiben"
    ${EndIf}
SectionEnd
