// Searching articles by their headlines and paragraphs.
#include "search.h"

#include <cstring>

namespace {

std::string g_searchText;

bool contains(const char *haystack, const std::string &needle) {
    return haystack && std::strstr(haystack, needle.c_str()) != nullptr;
}

bool paragraphsContain(const LibraryBinding &library, ItemId article, const std::string &needle) {
    for (const char *p = library.findFirstParagraph(article); p;
         p = library.findNextParagraph(article)) {
        if (contains(p, needle)) return true;
    }
    return false;
}

void addHit(std::vector<SearchHit> &hits, const ItemRecord &article) {
    SearchHit hit;
    hit.id = article.id;
    hit.hasHeadline = article.headline != nullptr;
    if (article.headline) hit.headline = article.headline;
    hits.push_back(std::move(hit));
}

}  // namespace

const std::string &searchText() { return g_searchText; }

void setSearchText(const char *text) {
    g_searchText = text ? text : "";
    if (g_searchText.size() > kSearchTextLimit) g_searchText.resize(kSearchTextLimit);
}

std::vector<SearchHit> searchNewspaper(const LibraryBinding &library, ItemId newspaper,
                                       const std::string &needle) {
    std::vector<SearchHit> hits;
    if (needle.empty()) return hits;
    for (const ItemRecord *resort = library.findFirstResort(newspaper); resort;
         resort = library.findNextResort(newspaper)) {
        ItemId resortId = resort->id;
        for (const ItemRecord *a = library.findFirstArticle(resortId); a;
             a = library.findNextArticle(resortId)) {
            if (contains(a->headline, needle) || paragraphsContain(library, a->id, needle)) {
                addHit(hits, *a);
                hits.back().resort = resort->title ? resort->title : "";
            }
        }
    }
    return hits;
}

std::vector<SearchHit> searchAllNewspapers(const LibraryBinding &library, const std::string &needle,
                                           SearchProgress progress, void *context) {
    std::vector<SearchHit> hits;
    if (needle.empty()) return hits;
    std::vector<const NewspaperRecord *> papers;  // valid until the list is rebuilt
    for (const NewspaperRecord *p = library.findFirstNewspaper(); p;
         p = library.findNextNewspaper())
        papers.push_back(p);
    int total = static_cast<int>(papers.size());
    for (int n = 0; n < total; ++n) {
        const NewspaperRecord &paper = *papers[static_cast<size_t>(n)];
        for (SearchHit &hit : searchNewspaper(library, paper.id, needle)) {
            hit.paper = paper.title ? paper.title : "";
            hit.date = paper.date ? paper.date : "";
            hits.push_back(std::move(hit));
        }
        if (progress && !progress(context, n + 1, total)) break;
    }
    return hits;
}

std::vector<SearchHit> searchResort(const LibraryBinding &library, ItemId resort,
                                    const std::string &needle) {
    std::vector<SearchHit> hits;
    if (needle.empty()) return hits;
    for (const ItemRecord *a = library.findFirstArticle(resort); a;
         a = library.findNextArticle(resort)) {
        if (paragraphsContain(library, a->id, needle)) addHit(hits, *a);
    }
    return hits;
}

size_t findInArticle(const std::string &text, size_t from, const std::string &needle) {
    if (needle.empty() || from > text.size()) return std::string::npos;
    return text.find(needle, from);
}
