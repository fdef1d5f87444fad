// Path pieces, by the last separator and the last dot.
#include "paths.h"

namespace {

std::string afterLastSeparator(const std::string &path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> nonEmpty(std::string s) {
    if (s.empty()) return std::nullopt;
    return s;
}

}  // namespace

std::optional<std::string> baseNameWithoutExtension(const char *path) {
    if (!path) return std::nullopt;
    std::string name = afterLastSeparator(path);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return nonEmpty(name);
}

std::optional<std::string> baseName(const char *path) {
    if (!path) return std::nullopt;
    return nonEmpty(afterLastSeparator(path));
}

std::optional<std::string> folderOf(const char *path) {
    if (!path) return std::nullopt;
    std::string s = path;
    size_t slash = s.rfind('\\');
    if (slash != std::string::npos) s.erase(slash + 1);
    return s;
}

std::optional<std::string> extensionOf(const char *path) {
    if (!path) return std::nullopt;
    std::string s = path;
    size_t dot = s.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    return s.substr(dot);
}
