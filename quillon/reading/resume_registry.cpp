// The reader's records in the current user's registry: the place the reader
// stopped (Software\VKT\Quillon\Resume) and records of the same form
// under other keys.
#include "resume_registry.h"

#include <windows.h>

#include <memory>
#include <string>

namespace {

const char kResumeKey[] = "Software\\VKT\\Quillon\\Resume";

// The record as values of its key: texts as REG_SZ, numbers as REG_DWORD.
// A record missing any value, or with a value of another type, is no
// record: it is ignored and written anew at the next article.
class RegistryResumeStore : public ResumeStore {
  public:
    explicit RegistryResumeStore(std::string path) : path_(std::move(path)) {}
    bool load(ResumeRecord &record) override {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD resorts = 0, id = 0, line = 0, untitled = 0;
        bool ok = text(key, "File", record.file) && text(key, "Title", record.title) &&
                  text(key, "Date", record.date) && number(key, "Resorts", resorts) &&
                  resorts >= 1 && resorts <= 16 && number(key, "ArticleId", id) &&
                  text(key, "Headline", record.headline) && number(key, "Untitled", untitled) &&
                  number(key, "Line", line) && line < 1000000;
        record.resorts.clear();
        for (DWORD i = 1; ok && i <= resorts; ++i) {
            std::string title;
            ok = text(key, ("Resort" + std::to_string(i)).c_str(), title);
            record.resorts.push_back(title);
        }
        RegCloseKey(key);
        record.articleId = static_cast<ItemId>(id);
        record.hasHeadline = untitled == 0;
        record.line = static_cast<int>(line);
        return ok;
    }
    void save(const ResumeRecord &record) override {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        setText(key, "File", record.file);
        setText(key, "Title", record.title);
        setText(key, "Date", record.date);
        setNumber(key, "Resorts", static_cast<DWORD>(record.resorts.size()));
        for (size_t i = 0; i < record.resorts.size(); ++i)
            setText(key, ("Resort" + std::to_string(i + 1)).c_str(), record.resorts[i]);
        setNumber(key, "ArticleId", static_cast<DWORD>(record.articleId));
        setText(key, "Headline", record.headline);
        setNumber(key, "Untitled", record.hasHeadline ? 0 : 1);
        setNumber(key, "Line", static_cast<DWORD>(record.line < 0 ? 0 : record.line));
        RegCloseKey(key);
    }

  private:
    std::string path_;
    static bool text(HKEY key, const char *name, std::string &value) {
        char buffer[1024];
        DWORD type = 0, size = sizeof buffer - 1;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        buffer[size] = '\0';
        value = buffer;
        return true;
    }
    static bool number(HKEY key, const char *name, DWORD &value) {
        DWORD type = 0, size = sizeof value;
        return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value),
                                &size) == ERROR_SUCCESS &&
               type == REG_DWORD && size == sizeof value;
    }
    static void setText(HKEY key, const char *name, const std::string &value) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    static void setNumber(HKEY key, const char *name, DWORD value) {
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                       sizeof value);
    }
};

}  // namespace

ResumeStore &registryResumeStore() {
    static RegistryResumeStore store(kResumeKey);
    return store;
}

std::unique_ptr<ResumeStore> registryRecordStore(const std::string &keyPath) {
    return std::make_unique<RegistryResumeStore>(keyPath);
}
