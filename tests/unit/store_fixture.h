// The store tests' folder of editions: a settings file over it, our
// sample editions, editions made to measure, and readers of what the
// library lists.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "qlapi.h"
#include "test_env.h"

inline const char *const kSamples[] = {"courier-2026-12-07.eif", "hinweis-2026-12-06.eif",
                                       "notice-2026-12-06.eif", "tageblatt-2026-12-05.eif",
                                       "tageblatt-2026-12-07.eif"};

inline std::string edition(const std::string &title, int year, int month, int day,
                           const std::string &body =
                               "<GROUP><GRTITLE>R</GRTITLE>"
                               "<ARTICLE><ATL>A</ATL><P>p</P></ARTICLE></GROUP>",
                           const std::string &language = "de") {
    return "<DUZUZUVU LANGUAGE=\"" + language + "\"><NPTL>" + title + "</NPTL><CD YEAR=\"" +
           std::to_string(year) + "\" MONTH=\"" + std::to_string(month) + "\" DAY=\"" +
           std::to_string(day) + "\"></CD>" + body + "</DUZUZUVU>";
}

class StoreTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        news_ = makeFolder("news");
    }
    void configure(const std::string &extra = "") {
        writeMinimalSettings(news_, "[COUNTRIES]\nde=49\nen=1\nfr=33\n" + extra);
    }
    void copySamples() {
        for (const char *name : kSamples)
            writeWholeFile(news_ + name, readWholeFile(testDataPath("editions/") + name));
    }
    void add(const std::string &name, const std::string &text) {
        writeWholeFile(news_ + name, text);
    }
    std::vector<std::string> newspapers() {
        std::vector<std::string> out;
        for (const NewspaperRecord *n = QL_FindFirstNewspaper(); n; n = QL_FindNextNewspaper()) {
            char id[16];
            snprintf(id, sizeof id, "%08x", static_cast<unsigned>(n->id));
            out.push_back(std::string(id) + " " + n->title + " " + n->date + " " +
                          std::to_string(n->countryCode));
        }
        return out;
    }
    // Every resort, article and paragraph of an edition, with ids.
    std::string walk(ItemId edition) {
        std::string out;
        for (const ItemRecord *r = QL_FindFirstResort(edition); r; r = QL_FindNextResort(edition)) {
            ItemId resort = r->id;
            out += "R" + std::to_string(resort & 0xffffff) + ":" + r->title + "(" +
                   std::to_string(r->hasArticles) + ")";
            for (const ItemRecord *a = QL_FindFirstArticle(resort); a;
                 a = QL_FindNextArticle(resort)) {
                ItemId article = a->id;
                out += " A" + std::to_string(article & 0xffffff) + ":" + a->headline;
                for (const char *p = QL_FindFirstParagraph(article); p;
                     p = QL_FindNextParagraph(article))
                    out += " [" + std::string(p) + "]";
            }
            out += "\n";
        }
        return out;
    }
    std::string news_;
};
