// The bookmarks in the current user's registry: one key a bookmark under
// Software\VKT\Quillon\Bookmarks, named 1, 2, ... newest first, holding the
// values of a Weiterlesen record and the excerpt. A reader keeps tens of
// bookmarks, not thousands, which the registry holds well, and so they stay
// with the user's other settings of the reader.
#include "resume_registry.h"

namespace {

const char kBookmarksKey[] = "Software\\VKT\\Quillon\\Bookmarks";
constexpr DWORD kExcerptLimit = 1024;

std::string subkey(size_t number) {
    return std::string(kBookmarksKey) + "\\" + std::to_string(number);
}

class RegistryBookmarkStore : public BookmarkStore {
  public:
    std::vector<Bookmark> load() override {
        std::vector<Bookmark> out;
        for (size_t n = 1;; ++n) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey(n).c_str(), 0, KEY_READ, &key) !=
                ERROR_SUCCESS)
                break;
            char excerpt[kExcerptLimit + 1] = "";
            DWORD type = 0, size = kExcerptLimit;
            bool hasExcerpt =
                RegQueryValueExA(key, "Excerpt", nullptr, &type, reinterpret_cast<BYTE *>(excerpt),
                                 &size) == ERROR_SUCCESS &&
                type == REG_SZ;
            RegCloseKey(key);
            Bookmark mark;
            if (!hasExcerpt || !registryRecordStore(subkey(n))->load(mark.place)) continue;
            excerpt[size < kExcerptLimit ? size : kExcerptLimit] = '\0';
            mark.excerpt = excerpt;
            out.push_back(std::move(mark));
        }
        return out;
    }
    // Each key is written over in place and the ones past the end removed
    // last, so that an interruption loses no bookmark but the one changed.
    bool save(const std::vector<Bookmark> &bookmarks) override {
        for (size_t n = 1; n <= bookmarks.size(); ++n) {
            const Bookmark &mark = bookmarks[n - 1];
            HKEY key;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey(n).c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &key, nullptr) != ERROR_SUCCESS)
                return false;
            LONG written = RegSetValueExA(key, "Excerpt", 0, REG_SZ,
                                          reinterpret_cast<const BYTE *>(mark.excerpt.c_str()),
                                          static_cast<DWORD>(mark.excerpt.size() + 1));
            RegCloseKey(key);
            if (written != ERROR_SUCCESS) return false;
            registryRecordStore(subkey(n))->save(mark.place);
        }
        for (size_t n = bookmarks.size() + 1;; ++n) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey(n).c_str(), 0, KEY_READ, &key) !=
                ERROR_SUCCESS)
                break;
            RegCloseKey(key);
            if (RegDeleteKeyA(HKEY_CURRENT_USER, subkey(n).c_str()) != ERROR_SUCCESS) return false;
        }
        return true;
    }
};

}  // namespace

BookmarkStore &registryBookmarkStore() {
    static RegistryBookmarkStore store;
    return store;
}
