// The scheduled task of "/abholen", built and registered through
// ITaskService.
#include "fetch_task.h"

#include "fetch_task_xml.h"

#include <oleauto.h>
#include <wchar.h>
// The interface identifiers are defined here: with static linking the
// import library gives thunks, not the GUIDs.
#include <initguid.h>
#include <taskschd.h>

namespace {

// Releases a COM interface at the end of its scope.
template <typename T>
class Com {
  public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com &) = delete;
    Com &operator=(const Com &) = delete;
    T **out() { return &p_; }
    T *operator->() const { return p_; }
    T *get() const { return p_; }

  private:
    T *p_ = nullptr;
};

// A BSTR for one call.
class Text {
  public:
    explicit Text(const std::wstring &s) : b_(SysAllocString(s.c_str())) {}
    ~Text() { SysFreeString(b_); }
    operator BSTR() const { return b_; }

  private:
    BSTR b_;
};

HRESULT connect(Com<ITaskService> &service, Com<ITaskFolder> &root) {
    HRESULT r = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskService, reinterpret_cast<void **>(service.out()));
    if (FAILED(r)) return r;
    VARIANT none;
    VariantInit(&none);
    r = service->Connect(none, none, none, none);
    if (FAILED(r)) return r;
    return service->GetFolder(Text(L"\\"), root.out());
}

// The first day the trigger runs, "2026-12-08": today, or tomorrow when
// the time has passed today, so that registering never starts a fetch at
// once.
std::wstring firstDay(int hour, int minute) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wHour * 60 + now.wMinute >= hour * 60 + minute) {
        FILETIME file;
        SystemTimeToFileTime(&now, &file);
        ULARGE_INTEGER t;
        t.LowPart = file.dwLowDateTime;
        t.HighPart = file.dwHighDateTime;
        t.QuadPart += 24ULL * 60 * 60 * 10000000;  // one day in 100 ns
        file.dwLowDateTime = t.LowPart;
        file.dwHighDateTime = t.HighPart;
        FileTimeToSystemTime(&file, &now);
    }
    wchar_t text[16];
    swprintf(text, 16, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

std::wstring textOf(BSTR b) {
    std::wstring out = b ? b : L"";
    SysFreeString(b);
    return out;
}

// What a definition holds of the parts this program sets, read back through
// the same interface.
HRESULT read(ITaskDefinition *task, FetchTaskView &view) {
    view = FetchTaskView{};
    Com<ITaskSettings> settings;
    HRESULT r = task->get_Settings(settings.out());
    if (FAILED(r)) return r;
    VARIANT_BOOL flag = VARIANT_FALSE;
    if (SUCCEEDED(settings->get_StartWhenAvailable(&flag))) view.startWhenAvailable = flag != 0;
    if (SUCCEEDED(settings->get_DisallowStartIfOnBatteries(&flag)))
        view.disallowOnBatteries = flag != 0;
    if (SUCCEEDED(settings->get_Enabled(&flag))) view.enabled = flag != 0;
    TASK_INSTANCES_POLICY policy;
    if (SUCCEEDED(settings->get_MultipleInstances(&policy)))
        view.ignoreNew = policy == TASK_INSTANCES_IGNORE_NEW;
    Com<IPrincipal> principal;
    TASK_LOGON_TYPE logon;
    if (SUCCEEDED(task->get_Principal(principal.out())) &&
        SUCCEEDED(principal->get_LogonType(&logon)))
        view.logonType = logon;
    Com<ITriggerCollection> triggers;
    LONG count = 0;
    if (SUCCEEDED(task->get_Triggers(triggers.out())) && SUCCEEDED(triggers->get_Count(&count)))
        view.triggers = count;
    Com<ITrigger> trigger;
    Com<IDailyTrigger> daily;
    if (count > 0 && SUCCEEDED(triggers->get_Item(1, trigger.out())) &&
        SUCCEEDED(
            trigger->QueryInterface(IID_IDailyTrigger, reinterpret_cast<void **>(daily.out())))) {
        BSTR start = nullptr;
        if (SUCCEEDED(daily->get_StartBoundary(&start))) view.start = textOf(start);
        short days = 0;
        if (SUCCEEDED(daily->get_DaysInterval(&days))) view.daysInterval = days;
    }
    Com<IActionCollection> actions;
    if (SUCCEEDED(task->get_Actions(actions.out())) && SUCCEEDED(actions->get_Count(&count)))
        view.actions = count;
    Com<IAction> action;
    Com<IExecAction> exec;
    if (view.actions > 0 && SUCCEEDED(actions->get_Item(1, action.out())) &&
        SUCCEEDED(action->QueryInterface(IID_IExecAction, reinterpret_cast<void **>(exec.out())))) {
        BSTR text = nullptr;
        if (SUCCEEDED(exec->get_Path(&text))) view.program = textOf(text);
        text = nullptr;
        if (SUCCEEDED(exec->get_Arguments(&text))) view.arguments = textOf(text);
    }
    return S_OK;
}

}  // namespace

std::wstring fetchTaskName() {
    wchar_t user[257] = L"";
    DWORD size = 257;
    if (!GetUserNameW(user, &size)) user[0] = L'\0';
    return std::wstring(L"Quillon Zeitungen abholen (") + user + L")";
}

std::wstring programPath() {
    wchar_t path[MAX_PATH] = L"";
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? path : L"";
}

HRESULT registerFetchTask(const std::wstring &program, int hour, int minute) {
    Com<ITaskService> service;
    Com<ITaskFolder> root;
    HRESULT r = connect(service, root);
    if (FAILED(r)) return r;
    // The definition as text: every part of it in one place, and the same
    // text whichever version of the scheduler reads it. With the
    // interactive token and no user, the task is the registering user's.
    VARIANT none;
    VariantInit(&none);
    Com<IRegisteredTask> registered;
    return root->RegisterTask(
        Text(fetchTaskName()), Text(fetchTaskXml(program, firstDay(hour, minute), hour, minute)),
        TASK_CREATE_OR_UPDATE, none, none, TASK_LOGON_INTERACTIVE_TOKEN, none, registered.out());
}

HRESULT removeFetchTask() {
    Com<ITaskService> service;
    Com<ITaskFolder> root;
    HRESULT r = connect(service, root);
    if (FAILED(r)) return r;
    r = root->DeleteTask(Text(fetchTaskName()), 0);
    if (r == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return S_OK;
    return r;
}

HRESULT registeredFetchTask(FetchTaskView &view) {
    view = FetchTaskView{};
    Com<ITaskService> service;
    Com<ITaskFolder> root;
    HRESULT r = connect(service, root);
    if (FAILED(r)) return r;
    Com<IRegisteredTask> task;
    r = root->GetTask(Text(fetchTaskName()), task.out());
    if (r == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return S_FALSE;
    if (FAILED(r)) return r;
    Com<ITaskDefinition> definition;
    r = task->get_Definition(definition.out());
    if (FAILED(r)) return r;
    return read(definition.get(), view);
}
