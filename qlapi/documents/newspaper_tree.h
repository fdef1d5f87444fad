// The newspaper tree of one opened edition: resorts, articles, paragraphs,
// built from the parse tree and walked by the find functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "documents/item_id.h"
#include "qlapi.h"

struct ArticleNode;
struct ParagraphNode {
    char *text;
    ParagraphNode *next;
};
struct ArticleNode {
    ItemRecord info;  // id and headline
    ParagraphNode *paragraphs;
    ArticleNode *next;
};
struct ResortNode {
    ItemRecord info;  // id, title, hasArticles
    ResortNode *subResorts;
    ArticleNode *articles;
    ResortNode *next;
};

// Titles and headlines are cut to this many characters.
constexpr size_t kTitleLimit = 79;
extern const char kNoTitle[];  // "kein Titel"

// Loads, parses and builds the tree of an edition into entry->tree (null
// when the edition cannot be read).
void buildNewspaperTree(const char *path, int32_t fileSize, ItemId editionId, int32_t countryCode,
                        EditionEntry *entry);

// The notice tree of an edition without resorts.
ResortNode *makeNoticeTree(ItemId editionId, int32_t countryCode);

// Numbering and linking while a tree is built; each gives the new id or -1.
ItemId attachResort(ItemId editionId, ResortNode *resort);
ItemId attachArticle(ItemId resortId, ArticleNode *article);
bool attachParagraph(ItemId articleId, ParagraphNode *paragraph);

// Makes a resort or article known under its id without counting it (the
// notice tree's fixed numbers).
void indexItem(ItemId id, ResortNode *resort, ArticleNode *article);

// The resort or article of an id in the open tree, or null.
ResortNode *findResort(ItemId id);
ArticleNode *findArticle(ItemId id);

// Frees the open tree and what the reader holds of its edition; the store
// marks its editions unparsed (releaseTrees).
void closeOpenTree();

// Frees one edition's tree.
void freeNewspaperTree(ResortNode *tree);

// Allocation within the open tree; freed with it.
void *treeAlloc(size_t bytes);
char *treeCopy(const char *text, size_t limit = SIZE_MAX);
