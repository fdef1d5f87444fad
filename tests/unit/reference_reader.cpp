// The reference model of the reader and the newspaper builder.
#include "reference_reader.h"

#include <cstring>
#include <memory>
#include <vector>

#include "core/text_util.h"
#include "documents/edition_format.h"
#include "documents/entity_table.h"

namespace reference {
namespace {

struct Node {
    std::string text;
    int tagIndex;
    bool opening;
    Node *left = nullptr, *right = nullptr;
};

struct Tree {
    std::vector<std::unique_ptr<Node>> nodes;
    Node *root = nullptr, *current = nullptr;
    std::vector<Node *> open, undo, found;

    Node *make(std::string text, int tagIndex, bool opening) {
        nodes.push_back(std::make_unique<Node>(Node{std::move(text), tagIndex, opening}));
        return nodes.back().get();
    }
    Node *pop(std::vector<Node *> &stack) {
        Node *n = stack.back();
        stack.pop_back();
        return n;
    }

    bool close(Node *node) {
        undo.clear();
        undo.push_back(current);
        if (open.empty()) return false;
        Node *element = pop(open);
        current = element;
        undo.push_back(element);
        bool matchedFirst = element->tagIndex == node->tagIndex;
        while (!matchedFirst && !open.empty()) {
            element = current = pop(open);
            undo.push_back(element);
            if (element->tagIndex == node->tagIndex) break;
        }
        if (!open.empty() || matchedFirst) {
            element->right = node;
            current = node;
            return true;
        }
        while (undo.size() > 1) open.push_back(pop(undo));
        current = pop(undo);
        return true;
    }

    bool add(const std::string &raw, int tagIndex, bool isTag) {
        std::string text;
        for (char c : raw) {
            if (c == '\r' || c == '\n') c = ' ';
            if (c == ' ' && !text.empty() && text.back() == ' ') continue;
            text += c;
        }
        if (isTag)
            for (char &c : text)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        bool opening = isTag && text[1] != '/';
        Node *node = make(text, tagIndex, opening);
        if (!root) {
            if (!opening) return false;
            root = current = node;
            open.push_back(node);
            return true;
        }
        if (isTag && !opening) return close(node);
        current->left = node;
        current = node;
        if (opening) open.push_back(node);
        return true;
    }

    static bool matches(const Node *n, const char *pattern) {
        return n->text[0] == '<' && strstr(n->text.c_str(), pattern);
    }
    // Left, then right, then the node.
    void findTags(Node *node, const char *pattern) {
        std::vector<std::pair<Node *, int>> path;
        if (node) path.push_back({node, 0});
        while (!path.empty()) {
            auto &[n, step] = path.back();
            if (step == 0) {
                step = 1;
                if (n->left) path.push_back({n->left, 0});
            } else if (step == 1) {
                step = 2;
                if (n->right) path.push_back({n->right, 0});
            } else {
                if (matches(n, pattern)) found.push_back(n);
                path.pop_back();
            }
        }
    }
    void findTagsBelow(Node *node, const char *pattern) {
        if (!node) return;
        findTags(node->left, pattern);
        if (matches(node, pattern)) found.push_back(node);
    }
};

int tagIndexOf(const std::string &tag) {
    bool closing = tag.size() > 1 && tag[1] == '/';
    for (int i = 0; i < kTagCount; ++i) {
        const char *prefix = closing ? kTagTable[i].closing : kTagTable[i].opening;
        if (tag.compare(0, strlen(prefix), prefix) == 0) return i;
    }
    return -1;
}

const char *decodeRun(Tree &tree, std::string run) {
    while (!run.empty() && run[0] == ' ') run.erase(0, 1);
    while (!run.empty() && run.back() == ' ') run.pop_back();
    bool blank = true;
    for (unsigned char c : run) blank = blank && !(c >= 0x21 && c <= 0x7F);
    if (blank) return nullptr;
    std::string out;
    for (size_t k = 0; k < run.size();) {
        if (run[k] != '&') {
            out += run[k++];
            continue;
        }
        size_t semi = run.find(';', k + 1);
        size_t end = semi == std::string::npos ? run.size() : semi;
        if (end - k - 1 > 64) return "API: Entity error\n";
        if (semi != std::string::npos) {
            out += lookupEntity(run.substr(k + 1, end - k - 1));
            k = end + 1;
        } else {
            if (k + 1 >= run.size()) break;
            out += lookupEntity(std::string());
            k += 2;
        }
    }
    return tree.add(out, -1, false) ? nullptr : "API: AddToTree failed!\n";
}

const char *parse(Tree &tree, const std::string &text) {
    size_t root = findRootTag(text.data(), text.size());
    if (root == text.size()) return "API: file is corrupt (<DUZUZUVU not found)\n";
    resetEntityTable();
    readEntityDeclarations(text.data(), root);
    size_t runStart = root, tagStart = 0;
    bool inTag = false;
    for (size_t i = root; i < text.size(); ++i) {
        if (text[i] == '>') {
            if (!inTag) return "API: file is corrupt (closing tag error)\n";
            std::string tag = text.substr(tagStart, i - tagStart + 1);
            if (!tree.add(tag, tagIndexOf(tag), true)) return "API: AddToTree failed!\n";
            inTag = false;
            runStart = i + 1;
        } else if (text[i] == '<') {
            if (inTag) return "API: file is corrupt (tag inside tag error)\n";
            if (i > runStart)
                if (const char *m = decodeRun(tree, text.substr(runStart, i - runStart))) return m;
            inTag = true;
            tagStart = i;
        }
    }
    if (inTag) return "API: file is corrupt (tag open error)\n";
    Node *r = tree.root;
    if (!r) return "API: file is corrupt (sgml root error)\n";
    if (r->text.find("<DUZUZUVU") == std::string::npos)
        return "API: file is corrupt (<DUZUZUVU string error)\n";
    if (!r->right) return "API: file is corrupt (</DUZUZUVU left ptr error)\n";
    if (r->right->text.find("</DUZUZUVU") == std::string::npos)
        return "API: file is corrupt (</DUZUZUVU string error)\n";
    return nullptr;
}

bool attribute(const std::string &tag, const std::string &name, std::string &value) {
    size_t p = tag.find(' ');
    if (p == std::string::npos) return false;
    for (;;) {
        while (p < tag.size() && tag[p] == ' ') ++p;
        size_t nameStart = p;
        while (p < tag.size() && tag[p] != '=' && tag[p] != ' ') ++p;
        if (p >= tag.size()) return false;
        size_t open = tag.find('"', p + 1);
        if (open == std::string::npos) return false;
        size_t close = tag.find('"', open + 1);
        if (close == std::string::npos) return false;
        if (tag.compare(nameStart, p - nameStart, name) == 0) {
            value = tag.substr(open + 1, close - open - 1);
            return true;
        }
        p = close + 1;
    }
}

int leadingInt(const std::string &text) { return parseLeadingInt(text.c_str()); }

Node *findOne(Tree &tree, const char *pattern) {
    tree.found.clear();
    tree.findTags(tree.root, pattern);
    return tree.found.size() == 1 ? tree.found[0] : nullptr;
}

struct Article {
    int number;
    std::string headline;
    std::vector<std::string> paragraphs;  // prepended as attached
};

}  // namespace

std::string dump(const Node *n) {
    std::string out;
    for (; n;) {
        if (!out.empty()) out += '|';
        out += n->text.c_str();
        if (n->opening) {
            out += "[" + dump(n->left) + "]";
            if (!n->right) break;
            out += n->right->text.c_str();
            n = n->right->left;
        } else {
            n = n->left;
        }
    }
    return out;
}

std::string dumpTree(const std::string &text, std::string &message) {
    Tree tree;
    const char *m = parse(tree, text);
    message = m ? m : "";
    return dump(tree.root);
}

Reading read(const std::string &text) {
    Reading out;
    Tree tree;
    if (const char *message = parse(tree, text)) {
        out.message = message;
        return out;
    }
    if (!tree.open.empty()) return out;
    Node *root = findOne(tree, "<DUZUZUVU");
    if (!root || !root->right || root->right->text.find("</DUZUZUVU>") == std::string::npos)
        return out;
    out.hasLanguage = attribute(root->text, "LANGUAGE", out.language);
    Node *title = findOne(tree, "<NPTL");
    if (!title || !title->left) return out;
    Node *date = findOne(tree, "<CD ");
    if (!date) return out;
    std::string value;
    out.year = attribute(date->text, "YEAR", value) ? leadingInt(value) : 0;
    out.month = attribute(date->text, "MONTH", value) ? leadingInt(value) : 0;
    out.day = attribute(date->text, "DAY", value) ? leadingInt(value) : 0;
    out.title = title->left->text.c_str();
    out.header = true;

    tree.found.clear();
    tree.findTags(tree.root, "<GROUP");
    std::vector<Node *> groups = tree.found;
    if (groups.empty()) {
        out.notice = true;
        return out;
    }
    int counter = 0;
    // Texts end at a NUL byte, as the library's do.
    auto cut = [](const std::string &s) { return std::string(s.c_str()).substr(0, 79); };
    for (size_t g = groups.size(); g-- > 0;) {
        Node *group = groups[g];
        Node *second = group->left ? group->left->left : nullptr;
        std::string resortTitle = cut(second ? second->text : "kein Titel");
        int resort = ++counter;
        std::vector<Article> articles;  // in list order: attached ones go first
        tree.found.clear();
        tree.findTagsBelow(group, "<ATL");
        std::vector<Node *> atls = tree.found;
        for (size_t a = atls.size(); a-- > 0;) {
            Node *atl = atls[a];
            Article article{
                ++counter,
                cut(atl->left && atl->left->tagIndex == -1 ? atl->left->text : "kein Titel"),
                {}};
            tree.found.clear();
            if (atl->right) tree.findTagsBelow(atl->right, "<P>");
            // Popped into the reverse stack, then popped again: visiting order,
            // each prepended.
            for (Node *p : tree.found)
                if (p->left && p->left->tagIndex == -1)
                    article.paragraphs.insert(article.paragraphs.begin(), p->left->text.c_str());
            articles.insert(articles.begin(), article);
        }
        out.walk += "R" + std::to_string(resort) + ":" + resortTitle + "(" +
                    (articles.empty() ? "0" : "1") + ")";
        for (const Article &a : articles) {
            out.walk += " A" + std::to_string(a.number) + ":" + a.headline;
            for (const std::string &p : a.paragraphs) out.walk += " [" + p + "]";
        }
        out.walk += "\n";
    }
    return out;
}

}  // namespace reference
