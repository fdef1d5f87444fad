// Finding a window's section in the handbook.
#include "handbook.h"

namespace {

// Help topic and the section that tells of its window.
struct TopicSection {
    int topic, section;
};
constexpr TopicSection kSections[] = {
    {1000, 2},   // the main window
    {2000, 4},   // the newspaper selection
    {3000, 11},  // the settings
    {4000, 6},   // the article view
    {5000, 7},   // the search
};

}  // namespace

int handbookSectionOf(int topic) {
    for (const TopicSection &s : kSections)
        if (s.topic == topic) return s.section;
    return 0;
}

size_t handbookSectionStart(const std::string &text, int number) {
    if (number <= 0) return 0;
    const std::string heading = std::to_string(number) + ". ";
    for (size_t line = 0; line < text.size();) {
        if (text.compare(line, heading.size(), heading) == 0) return line;
        size_t end = text.find('\n', line);
        if (end == std::string::npos) break;
        line = end + 1;
    }
    return 0;
}
