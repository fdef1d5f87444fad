// The scheduled task's XML definition.
#include "fetch_task_xml.h"

#include <cwchar>

namespace {

// Text as XML character data.
std::wstring escaped(const std::wstring &text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
                out += L"&amp;";
                break;
            case L'<':
                out += L"&lt;";
                break;
            case L'>':
                out += L"&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::wstring fetchTaskXml(const std::wstring &program, const std::wstring &startDay, int hour,
                          int minute) {
    wchar_t time[16];
    std::swprintf(time, 16, L"T%02d:%02d:00", hour, minute);
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           L"<Task version=\"1.2\" "
           L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           L"  <RegistrationInfo>\n"
           L"    <Author>Vantrel Quillon</Author>\n"
           L"    <Description>Holt die Zeitungen des Tages ab.</Description>\n"
           L"  </RegistrationInfo>\n"
           L"  <Triggers>\n"
           L"    <CalendarTrigger>\n"
           L"      <StartBoundary>" +
           escaped(startDay) + time +
           L"</StartBoundary>\n"
           L"      <Enabled>true</Enabled>\n"
           L"      <ScheduleByDay>\n"
           L"        <DaysInterval>1</DaysInterval>\n"
           L"      </ScheduleByDay>\n"
           L"    </CalendarTrigger>\n"
           L"  </Triggers>\n"
           L"  <Principals>\n"
           L"    <Principal id=\"Author\">\n"
           L"      <LogonType>InteractiveToken</LogonType>\n"
           L"      <RunLevel>LeastPrivilege</RunLevel>\n"
           L"    </Principal>\n"
           L"  </Principals>\n"
           L"  <Settings>\n"
           L"    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
           L"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
           L"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
           L"    <StartWhenAvailable>true</StartWhenAvailable>\n"
           L"    <ExecutionTimeLimit>PT1H</ExecutionTimeLimit>\n"
           L"    <Enabled>true</Enabled>\n"
           L"  </Settings>\n"
           L"  <Actions Context=\"Author\">\n"
           L"    <Exec>\n"
           L"      <Command>" +
           escaped(program) +
           L"</Command>\n"
           L"      <Arguments>/abholen</Arguments>\n"
           L"    </Exec>\n"
           L"  </Actions>\n"
           L"</Task>\n";
}
