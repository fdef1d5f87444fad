// The local store and the find functions, driven through the exports over
// real folders of our sample editions.
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "store_fixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

TEST_F(StoreTest, ListsAndReadsTheSampleEditions) {
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    // Newest first; of one day, in the order the folder lists them.
    EXPECT_EQ(newspapers(), (std::vector<std::string>{
                                "00000000 Quillon Daily Courier 12/7/2026 1",
                                "04000000 Quillon Tageblatt 7.12.2026 49",
                                "01000000 Quillon Tageblatt 6.12.2026 49",
                                "02000000 Quillon Daily Courier 12/6/2026 1",
                                "03000000 Quillon Tageblatt 5.12.2026 49",
                            }));
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    EXPECT_EQ(walk(0x04000000),
              "R1:Politik(1)"
              " A3:Stadtrat beschlie\xDFt den Haushalt f\xFCr 2027"
              " [Der Stadtrat hat am Montagabend den Haushalt f\xFCr das kommende Jahr beschlossen."
              " Er umfasst 48 Millionen EUR.]"
              " [Die Opposition kritisierte die geringen R\xFC"
              "cklagen. Der K\xE4mmerer verteidigte den Plan.]"
              " [Die n\xE4"
              "chste Sitzung ist am 12. Januar - \xF6"
              "ffentlich wie immer.]"
              " A2:Neue Buslinie nach M\xFChlbach [Ab Januar f\xE4hrt die Linie 7 auch sonntags.]"
              " [Fahrpl\xE4ne gibt es bei Stadtwerke & Verkehr im Rathaus.]\n"
              "R4:Wirtschaft(1) A5:Gro\xDF"
              "b\xE4"
              "ckerei M\xFCller & S\xF6hne w\xE4"
              "chst"
              " [Der Umsatz stieg um 12 % 10 % Prognose.]"
              " [Das Unternehmen stellt 30 neue Mitarbeiter ein.]\n"
              "R6:Kultur(1) A8:Stadttheater zeigt \"Die R\xE4uber\" [Premiere ist am Samstag um "
              "19.30 Uhr.]"
              " A7:Lesung in der Stadtbibliothek"
              " [Die Autorin liest aus ihrem neuen Roman \xABWinterlicht\xBB.]\n");
    // The compressed edition reads the same and stays compressed.
    EXPECT_EQ(walk(0x03000000), walk(0x04000000));
    EXPECT_EQ(readWholeFile(news_ + "tageblatt-2026-12-05.eif")[0], 'x');
    for (const char *name : kSamples) {
        std::string header = news_ + fs::path(name).stem().string() + ".ehd";
        EXPECT_TRUE(fileExists(header)) << header;
    }
    EXPECT_EQ(QL_Initialize(0), QL_OK);
}

TEST_F(StoreTest, NoticeEditionsSpeakTheEditionsLanguage) {
    struct Case {
        const char *language;
        const char *date, *title, *headline, *start;
    };
    const Case cases[] = {
        {"de", "7.12.2026", "Zeitung defekt! Bitte lesen...", "Nachricht von Vantrel",
         "Die Zeitung wurde korrekt heruntergeladen"},
        {"en", "12/7/2026", "Newspaper corrupt! Please read...", "News from Vantrel",
         "The newspaper has been transmitted correctly"},
        {"xx", "12/7/2026", "Zeitung defekt! Bitte lesen...", "Nachricht von Vantrel",
         "Die Zeitung wurde korrekt heruntergeladen"},  // country 0
    };
    configure();
    for (const Case &c : cases) {
        fs::remove_all(news_);
        fs::create_directories(news_);
        add("n.eif", edition("Leer", 2026, 12, 7, "<ISSUE>nichts</ISSUE>", c.language));
        QL_Initialize(0);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        const NewspaperRecord *n = QL_FindFirstNewspaper();
        ASSERT_NE(n, nullptr) << c.language;
        EXPECT_STREQ(n->date, c.date) << c.language;
        const ItemRecord *r = QL_FindFirstResort(0);
        ASSERT_NE(r, nullptr) << c.language;
        EXPECT_EQ(r->id, 1);
        EXPECT_STREQ(r->title, c.title);
        EXPECT_EQ(r->hasArticles, 1);
        const ItemRecord *a = QL_FindFirstArticle(1);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->id, 2);
        EXPECT_STREQ(a->headline, c.headline);
        const char *p = QL_FindFirstParagraph(2);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::string(p).rfind(c.start, 0), 0u) << p;
        EXPECT_EQ(QL_FindNextParagraph(2), nullptr);
        EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
        EXPECT_EQ(QL_FindNextArticle(1), nullptr);
        EXPECT_EQ(QL_FindNextResort(0), nullptr);
    }
}

TEST_F(StoreTest, TreeRulesForTitlesHeadlinesAndNumbers) {
    std::string longHeadline(100, 'h');
    add("a.eif", edition("T", 2026, 1, 2,
                         "<GROUP></GROUP>"
                         "<GROUP><GRTITLE>Ohne</GRTITLE><ARTICLE><ATL><SBT>x</SBT></ATL></ARTICLE>"
                         "</GROUP>"
                         "<GROUP><GRTITLE>Lang</GRTITLE><ARTICLE><ATL>" +
                             longHeadline +
                             "</ATL><P>eins</P><P><SBT>unter</SBT></P><P>zwei</P>"
                             "</ARTICLE></GROUP>"));
    add("b.eif", edition("Other", 2026, 1, 1));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    // Article of an edition not opened yet: nothing; after opening it: found.
    EXPECT_EQ(QL_FindFirstArticle(1), nullptr);
    EXPECT_EQ(walk(0), "R1:kein Titel(0)\nR2:Ohne(1) A3:kein Titel\nR4:Lang(1) A5:" +
                           longHeadline.substr(0, 79) + " [eins] [zwei]\n");
    EXPECT_EQ(QL_FindFirstArticle(1), nullptr) << "a resort without articles";
    EXPECT_EQ(QL_FindFirstResort(3), nullptr) << "an article's id is no resort";
    EXPECT_EQ(QL_FindFirstResort(0x05000000), nullptr) << "no such edition";

    // Paragraphs are lined up by the article enumeration itself.
    ASSERT_NE(QL_FindFirstArticle(4), nullptr);
    EXPECT_STREQ(QL_FindNextParagraph(5), "eins");

    // Opening another edition ends the enumerations of the first.
    ASSERT_NE(QL_FindFirstArticle(2), nullptr);
    ASSERT_NE(QL_FindFirstResort(0x01000000), nullptr);
    EXPECT_EQ(QL_FindNextArticle(2), nullptr);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    // Opening the first again gives the same numbers.
    EXPECT_EQ(walk(0).substr(0, 4), "R1:k");
}

TEST_F(StoreTest, UnreadableEditionsAreDeletedOrKept) {
    const std::pair<const char *, std::string> broken[] = {
        {"noroot.eif", "<NEWSPAPER>x</NEWSPAPER>"},
        {"notitle.eif", "<DUZUZUVU><CD YEAR=\"1\"></CD></DUZUZUVU>"},
        {"twotitles.eif", "<DUZUZUVU><NPTL>a</NPTL><NPTL>b</NPTL><CD X=\"1\"></CD></DUZUZUVU>"},
        {"nodate.eif", "<DUZUZUVU><NPTL>a</NPTL><CD></CD></DUZUZUVU>"},
        {"open.eif", "<DUZUZUVU><NPTL>a</NPTL><CD X=\"1\"></CD><GROUP></DUZUZUVU>"},
    };
    // "SAVE" holds for the rest of the process, so it comes second.
    for (bool save : {false, true}) {
        // A header cut short is not trusted, so each edition is read and
        // refused; deleting it takes the header along.
        for (const auto &[name, text] : broken) {
            add(name, text);
            add(fs::path(name).stem().string() + ".ehd", "49\nKaputt\n");
        }
        add("good.eif", edition("Gut", 2026, 3, 4));
        configure(save ? "[NEWSPAPERS]\ncorrupt=Save\n" : "");
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(newspapers(), std::vector<std::string>{"00000000 Gut 4.3.2026 49"}) << save;
        for (const auto &[name, text] : broken) {
            EXPECT_EQ(fileExists(news_ + name), save) << name;
            EXPECT_EQ(fileExists(news_ + fs::path(name).stem().string() + ".ehd"), save) << name;
        }
        ASSERT_EQ(QL_Initialize(0), QL_OK);
    }
}

TEST_F(StoreTest, HeaderFilesStandInForTheirEditions) {
    add("e.eif", edition("Kopf", 2026, 5, 6));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    ASSERT_EQ(QL_Initialize(0), QL_OK);
#ifdef _WIN32
    const std::string nl = "\r\n";
#else
    const std::string nl = "\n";
#endif
    EXPECT_EQ(readWholeFile(news_ + "e.ehd"),
              "49" + nl + "Kopf" + nl + "6.5.2026" + nl + "6" + nl + "5" + nl + "2026" + nl);
    EXPECT_FALSE(fileExists(news_ + "e.ehd.tmp"));

    // With its header the edition is listed even when its data is broken;
    // opening it then finds nothing.
    add("e.eif", "broken");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(newspapers(), std::vector<std::string>{"00000000 Kopf 6.5.2026 49"});
    EXPECT_EQ(QL_FindFirstResort(0), nullptr);
    ASSERT_EQ(QL_Initialize(0), QL_OK);

    // A header cut short is not trusted: the edition is read again.
    add("e.eif", edition("Neu", 2026, 5, 7));
    writeWholeFile(news_ + "e.ehd", "49\nKopf\n");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(newspapers(), std::vector<std::string>{"00000000 Neu 7.5.2026 49"});
}

TEST_F(StoreTest, OnlyVisibleFilesWithTheExtensionCount) {
    add(".eif", edition("Versteckt", 2026, 1, 1));
#ifdef _WIN32
    // On Windows by attribute, whatever the name.
    add("h.eif", edition("Versteckt", 2026, 1, 1));
    add("s.eif", edition("System", 2026, 1, 1));
    ASSERT_TRUE(SetFileAttributesA((news_ + ".eif").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA((news_ + "h.eif").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA((news_ + "s.eif").c_str(), FILE_ATTRIBUTE_SYSTEM));
#endif
    add("x.txt", edition("Text", 2026, 1, 1));
    add("y.EIF", edition("Gross", 2026, 1, 2));
    add("z.dat", edition("Daten", 2026, 1, 3));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(newspapers(), std::vector<std::string>{"00000000 Gross 2.1.2026 49"});
    ASSERT_EQ(QL_Initialize(0), QL_OK);
    writeSettings("[FILES]\nPATH=" + news_ +
                  "\nextension=dat\n[CONNECTIONS]\nServer=A\n[A]\n"
                  "appl=a\nurl=u\nlogin=l\npassword=p\nclass=c\n[COUNTRIES]\nde=49\n");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(newspapers(), std::vector<std::string>{"00000000 Daten 3.1.2026 49"});
}

TEST_F(StoreTest, KeepsTheNewestMaxPapersEditionsOfAllNewspapers) {
    for (int day = 1; day <= 6; ++day) {
        add("a" + std::to_string(day) + ".eif", edition("A", 2026, 2, day));
        add("b" + std::to_string(day) + ".eif", edition("B", 2026, 2, day));
    }
    configure("[NEWSPAPERS]\nmaxpapers=10\n");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    std::vector<std::string> list = newspapers();
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front().substr(9), "A 6.2.2026 49");
    EXPECT_EQ(list.back().substr(9), "B 2.2.2026 49");
    for (const char *gone : {"a1.eif", "a1.ehd", "b1.eif", "b1.ehd"})
        EXPECT_FALSE(fileExists(news_ + gone)) << gone;
    EXPECT_TRUE(fileExists(news_ + "a2.eif"));
}

TEST_F(StoreTest, EditionNumbersStayUniqueBeyondOneByte) {
    for (int i = 0; i < 300; ++i) {
        char name[16];
        snprintf(name, sizeof name, "e%03d.eif", i);
        add(name, edition("N" + std::to_string(i), 2000 + i, 1, 1));
    }
    configure("[NEWSPAPERS]\nmaxpapers=255\n");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    std::set<ItemId> ids;
    int count = 0;
    for (const NewspaperRecord *n = QL_FindFirstNewspaper(); n; n = QL_FindNextNewspaper()) {
        ++count;
        EXPECT_EQ(n->id & 0xffffff, 0);
        ids.insert(n->id);
    }
    EXPECT_EQ(count, 255);
    EXPECT_EQ(ids.size(), 255u) << "every kept edition has a number of its own";
    // The newest (scanned last, number 299) reads its own edition.
    const NewspaperRecord *newest = QL_FindFirstNewspaper();
    ASSERT_NE(newest, nullptr);
    EXPECT_STREQ(newest->title, "N299");
    EXPECT_STREQ(QL_FindFirstResort(newest->id)->title, "R");
}

TEST_F(StoreTest, DeleteListFromDiskAndResync) {
    HostWindow host;
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    ASSERT_EQ(QL_RegisterCallback(host.handle(), 1034), 1);
    EXPECT_EQ(QL_DeleteNewspaper(0x04000001), QL_ERR_NOT_FOUND) << "a resort's id";
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    EXPECT_EQ(QL_DeleteNewspaper(0x04000000), QL_OK);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].category, uintptr_t(QL_NOTIFY_STATUS));
    EXPECT_EQ(g_received[0].code, QL_STATUS_DORESYNC);
    EXPECT_FALSE(fileExists(news_ + "tageblatt-2026-12-07.eif"));
    EXPECT_FALSE(fileExists(news_ + "tageblatt-2026-12-07.ehd"));
    EXPECT_EQ(newspapers().size(), 5u) << "listed until the host resynchronises";

    EditionEntry *list = QL_GetNewspaperListFromHD();
    std::vector<std::string> titles;
    for (EditionEntry *e = list; e; e = e->next) {
        EXPECT_EQ(e->info.id, 0x01000000);
        EXPECT_EQ(e->parsed, 0);
        titles.push_back(std::string(e->info.title) + " " + e->info.date);
    }
    QL_RemoveNewspaperTree(list);
    EXPECT_EQ(titles, (std::vector<std::string>{
                          "Quillon Daily Courier 12/7/2026", "Quillon Tageblatt 6.12.2026",
                          "Quillon Daily Courier 12/6/2026", "Quillon Tageblatt 5.12.2026"}));

    ASSERT_EQ(QL_ResyncNewspaper(), QL_OK);
    EXPECT_EQ(newspapers().size(), 4u);
    ASSERT_EQ(QL_Initialize(0), QL_OK);
    fs::remove_all(news_);
    fs::create_directories(news_);
    EXPECT_EQ(QL_GetNewspaperListFromHD(), nullptr);
}

TEST_F(StoreTest, OverlongDateNumbersAreCutSafely) {
    add("d.eif", edition("D", 2147483647, 2147483647, 2147483647));
    add("f.eif",
        "<DUZUZUVU><NPTL>F</NPTL><CD YEAR=\"99999999999999\" MONTH=\"-5\" DAY=\"x\">"
        "</CD></DUZUZUVU>");
    configure();
    // The date text is cut to 11 characters; the numbers still order the
    // list, from the edition and from its header alike.
    for (int scan = 1; scan <= 2; ++scan) {
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(newspapers(), (std::vector<std::string>{"00000000 D 2147483647. 49",
                                                          "01000000 F -5/0/214748 0"}))
            << scan;
        ASSERT_EQ(QL_Initialize(0), QL_OK);
    }
}

// Months order editions before days; editions of one day keep the order
// of the folder listing.
TEST_F(StoreTest, NewestFirstByYearMonthAndDay) {
    add("a.eif", edition("A", 2026, 2, 28));
    add("b.eif", edition("B", 2026, 11, 1));
    add("c.eif", edition("C", 2026, 3, 1));
    add("d.eif", edition("D", 2025, 12, 31));
    add("e.eif", edition("E", 2026, 3, 1));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(newspapers(),
              (std::vector<std::string>{"01000000 B 1.11.2026 49", "02000000 C 1.3.2026 49",
                                        "04000000 E 1.3.2026 49", "00000000 A 28.2.2026 49",
                                        "03000000 D 31.12.2025 49"}));
}

// The ids of a notice edition and of paragraphs found first are the
// edition's own; the first paragraph request opens its edition, and a
// build that failed is retried only once another edition was opened.
TEST_F(StoreTest, FindsOpenTheirEditionOnce) {
    add("a.eif", edition("A", 2026, 1, 2));
    add("b.eif", edition("Leer", 2026, 1, 1, "<ISSUE>nichts</ISSUE>"));
    add("c.eif", edition("C", 2026, 1, 3));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    const char *p = QL_FindFirstParagraph(0x01000002);
    ASSERT_NE(p, nullptr) << "the notice edition opens for its paragraph";
    EXPECT_EQ(std::string(p).rfind("Die Zeitung wurde", 0), 0u) << p;
    EXPECT_EQ(QL_FindFirstResort(0x01000000)->id, 0x01000001);
    EXPECT_EQ(QL_FindFirstArticle(0x01000001)->id, 0x01000002);
    EXPECT_STREQ(QL_FindFirstParagraph(0x00000002), "p") << "edition 0 opens as well";

    add("c.eif", "kaputt");  // listed from its header, its data broken
    EXPECT_EQ(QL_FindFirstResort(0x02000000), nullptr);
    add("c.eif", edition("C", 2026, 1, 3));
    EXPECT_EQ(QL_FindFirstResort(0x02000000), nullptr) << "not parsed again yet";
    ASSERT_NE(QL_FindFirstResort(0x00000000), nullptr);
    ASSERT_NE(QL_FindFirstResort(0x02000000), nullptr) << "parsed again after another";
}

// The caller's list deletes what cannot be read, writes the headers of new
// editions and lists an edition from its header alone.
TEST_F(StoreTest, TheCallersListWalksTheFolderAsTheScanDoes) {
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    add("a.eif", edition("A", 2026, 1, 2));
    add("b.eif", "kaputt");
    add("c.eif", "kaputt");
    add("c.ehd", "49\nNur Kopf\n1.1.2026\n1\n1\n2026\n");
    EditionEntry *list = QL_GetNewspaperListFromHD();
    std::vector<std::string> titles;
    for (EditionEntry *e = list; e; e = e->next) titles.push_back(e->info.title);
    QL_RemoveNewspaperTree(list);
    EXPECT_EQ(titles, (std::vector<std::string>{"A", "Nur Kopf"}));
    EXPECT_TRUE(fileExists(news_ + "a.ehd"));
    EXPECT_FALSE(fileExists(news_ + "b.eif"));
    EXPECT_EQ(newspapers(), std::vector<std::string>{}) << "the library's own list is as it was";
}

}  // namespace
