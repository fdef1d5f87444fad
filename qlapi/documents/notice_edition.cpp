// The notice newspaper: what an intact but empty edition shows instead of
// nothing, in English for country code 1 and in German otherwise.
#include <cstring>

#include "documents/newspaper_tree.h"

static const char kEnglishTitle[] = "Newspaper corrupt! Please read...";
static const char kGermanTitle[] = "Zeitung defekt! Bitte lesen...";
static const char kEnglishHeadline[] = "News from Vantrel";
static const char kGermanHeadline[] = "Nachricht von Vantrel";
static const char kEnglishText[] =
    "The newspaper has been transmitted correctly, but was empty. This might happen on vacation "
    "days or if the publishing house has not yet provided the newspaper. If there should be a "
    "newspaper for today, please try again later. With kind regards Vantrel";
// ISO 8859-1, like every text of an edition.
static const char kGermanText[] =
    "Die Zeitung wurde korrekt heruntergeladen, war jedoch leer. Dies kann zum Beispiel an "
    "Feiertagen auftreten oder wenn der Verlag die Zeitung noch nicht zur Verf\xFCgung gestellt "
    "hat. Sollte heute eine Zeitung verf\xFC"
    "gbar sein, probieren Sie es bitte sp\xE4ter noch einmal. Mit freundlichen Gr\xFC\xDF"
    "en Vantrel";

ResortNode *makeNoticeTree(ItemId editionId, int32_t countryCode) {
    bool english = countryCode == 1;
    auto *resort = static_cast<ResortNode *>(treeAlloc(sizeof(ResortNode)));
    auto *article = static_cast<ArticleNode *>(treeAlloc(sizeof(ArticleNode)));
    auto *paragraph = static_cast<ParagraphNode *>(treeAlloc(sizeof(ParagraphNode)));
    if (!resort || !article || !paragraph) return nullptr;
    memset(resort, 0, sizeof *resort);
    memset(article, 0, sizeof *article);
    paragraph->next = nullptr;
    paragraph->text = treeCopy(english ? kEnglishText : kGermanText);
    resort->info.id = editionId + 1;
    resort->info.hasArticles = 1;
    resort->info.title = treeCopy(english ? kEnglishTitle : kGermanTitle);
    resort->articles = article;
    article->info.id = editionId + 2;
    article->info.headline = treeCopy(english ? kEnglishHeadline : kGermanHeadline);
    article->paragraphs = paragraph;
    if (!paragraph->text || !resort->info.title || !article->info.headline) return nullptr;
    indexItem(resort->info.id, resort, nullptr);
    indexItem(article->info.id, nullptr, article);
    return resort;
}
