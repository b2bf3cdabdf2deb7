#pragma once
// The object graph of an open container as a tree of texts: every object
// with its class and name, every named property with its value, and the
// objects a property references as its children. Built as plain data, so
// that it is tested and fuzzed without a window; the window only shows it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class OmfReader;
struct TocEntry;

struct OmfTreeItem {
    std::string text;
    bool bold = false;
    std::vector<OmfTreeItem> children;
};

struct OmfTree {
    std::vector<OmfTreeItem> roots;
    std::size_t itemCount = 0;
    bool cutShort = false;
};

class OmfTreeBuilder {
public:
    // A hostile file can reference objects so that the tree doubles at
    // every level; it is cut at this many items.
    static constexpr std::size_t kMaxItems = 200000;
    // A reference to no object makes no item but is read all the same: the
    // tree follows at most this many references for each item it may hold.
    static constexpr std::size_t kReferencesPerItem = 4;
    // The characters of a definition's name that are kept.
    static constexpr std::size_t kMaxNameChars = 127;

    explicit OmfTreeBuilder(OmfReader& reader, std::size_t maxItems = kMaxItems);

    // The tree of the reader's open container.
    OmfTree Build();

private:
    void ReadNames();
    // Adds object id under parent (null: a root), sorted among its siblings.
    void AddObjectNode(std::uint32_t objectId, std::vector<OmfTreeItem>& siblings);
    void AddPropertyNodes(std::uint32_t objectId, OmfTreeItem& item);
    // The item of one property, or false when it gets none.
    bool PropertyItem(const TocEntry& property, const std::string& name, std::uint32_t objectId,
                      OmfTreeItem& item);
    std::string ObjectText(std::uint32_t objectId);
    // Room for one more item; false (and the tree marked cut) when full.
    bool Room();
    // The objects a reference, reference array or mob table names, read only
    // as far as references are left to follow; none (and the tree marked
    // cut) when the property names more than that.
    std::vector<std::uint32_t> References(const TocEntry& property);

    OmfReader& m_reader;
    std::size_t m_maxItems;
    OmfTree m_tree;
    std::size_t m_referencesLeft = 0;
    bool m_outOfReferences = false;
    std::unordered_map<std::uint32_t, std::string> m_names;
    std::unordered_set<std::uint32_t> m_shown;
    // The objects being expanded, from the root down: a reference back to
    // one of them is shown as one plain item.
    std::unordered_set<std::uint32_t> m_expanding;
};

// A 32-bit time as the locale's date and time; empty for 0.
std::string OmfDateText(std::uint32_t seconds);
