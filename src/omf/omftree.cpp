#include "omf/omftree.h"

#include "feedback/log.h"
#include "io/byteorder.h"
#include "omf/omfreader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <strings.h>

namespace {

// Deeper references than this become plain items: a chain of objects each
// referencing the next would otherwise take the stack with it.
constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxText = 511;

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string fromTable(std::uint32_t value, std::initializer_list<const char*> names) {
    if (value < names.size())
        return *(names.begin() + value);
    return "UNKNOWN";
}

std::string fieldText(std::uint32_t value) {
    return fromTable(value, {"FULL_FRAME", "SEPARATE_FIELDS", "SINGLE_FIELD", "MIXED_FIELDS"});
}

} // namespace

std::string OmfDateText(std::uint32_t seconds) {
    if (seconds == 0)
        return {};
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (::localtime_r(&t, &local) == nullptr)
        return {};
    // The long form: weekday, month, day, year and time, as "Tuesday,
    // March 14, 2023 10:15:00"; names and the time in the locale's words.
    char head[128];
    char tail[128];
    const std::size_t headLength = std::strftime(head, sizeof head, "%A, %B ", &local);
    const std::size_t tailLength = std::strftime(tail, sizeof tail, ", %Y %X", &local);
    return std::string(head, headLength) + std::to_string(local.tm_mday) +
           std::string(tail, tailLength);
}

OmfTreeBuilder::OmfTreeBuilder(OmfReader& reader, std::size_t maxItems)
    : m_reader(reader), m_maxItems(maxItems) {}

bool OmfTreeBuilder::Room() {
    if (m_tree.cutShort)
        return false;
    if (m_tree.itemCount + 1 >= m_maxItems) {
        m_tree.cutShort = true;
        return false;
    }
    ++m_tree.itemCount;
    return true;
}

OmfTree OmfTreeBuilder::Build() {
    m_tree = {};
    m_referencesLeft = m_maxItems * kReferencesPerItem;
    m_outOfReferences = false;
    m_shown.clear();
    m_expanding.clear();
    if (!m_reader.IsOpen())
        return m_tree;
    ReadNames();
    AddObjectNode(omf::kHeaderObject, m_tree.roots);
    for (const auto& [id, object] : m_reader.Objects()) {
        if (m_tree.cutShort)
            break;
        if (m_shown.count(id) == 0)
            AddObjectNode(id, m_tree.roots);
    }
    if (m_tree.cutShort) {
        const std::string limit =
            m_outOfReferences ? std::to_string(m_maxItems * kReferencesPerItem) + " references"
                              : std::to_string(m_maxItems) + " items";
        m_tree.roots.push_back({"... the tree was cut short at " + limit, false, {}});
        ++m_tree.itemCount;
    }
    return std::move(m_tree);
}

void OmfTreeBuilder::ReadNames() {
    m_names.clear();
    const std::vector<TocEntry>& toc = m_reader.Toc();
    std::size_t i = 0;
    while (i < toc.size() && toc[i].objectId == omf::kHeaderObject)
        ++i;
    // Every definition costs a read-ahead window; a crafted TOC of millions
    // of them, scattered, is read about twice and no more.
    const std::uint64_t budget = m_reader.BytesRead() + 2 * m_reader.FileSize() + (16u << 20);
    for (; i < toc.size() && toc[i].propertyId != omf::kPropClass; ++i) {
        if (m_reader.BytesRead() > budget) {
            Log("Definition names read the file over again: the rest are left out");
            break;
        }
        // A definition's value is its name, whatever type the file gives it.
        const TocEntry& entry = toc[i];
        std::string name;
        if (entry.valueLength <= 4) {
            name.assign(reinterpret_cast<const char*>(entry.immediate.data()), entry.valueLength);
        } else {
            const std::vector<std::uint8_t> value = m_reader.ReadValueStart(&entry, kMaxNameChars);
            name.assign(value.begin(), value.end());
        }
        name.resize(strnlen(name.data(), name.size()));
        m_names[entry.objectId] = std::move(name);
    }
}

std::string OmfTreeBuilder::ObjectText(std::uint32_t objectId) {
    std::string text;
    if (m_reader.SourceMobs().find(objectId) != nullptr)
        text = "(Source Mob) ";
    else if (m_reader.CompositionMobs().find(objectId) != nullptr)
        text = "(Composition Mob) ";
    else if (m_reader.MediaData().find(objectId) != nullptr)
        text = "(Media Data) ";
    else if (objectId == omf::kHeaderObject)
        text = "(_HEADER) ";
    ObjectEntry* object = m_reader.FindObject(objectId);
    if (const PropertyRef cls = m_reader.FindProperty(object, omf::kPropClass)) {
        char name[5] = {};
        m_reader.ReadString(cls, name, sizeof name);
        text += std::string(name, strnlen(name, sizeof name));
    }
    text += " 0x" + hex(objectId);
    if (const PropertyRef mobName = m_reader.FindProperty(object, omf::kPropMobName)) {
        char name[512] = {};
        m_reader.ReadString(mobName, name, sizeof name);
        text += " -{" + std::string(name, strnlen(name, sizeof name)) + "}";
    }
    if (text.size() > kMaxText)
        text.resize(kMaxText);
    return text;
}

void OmfTreeBuilder::AddObjectNode(std::uint32_t objectId, std::vector<OmfTreeItem>& siblings) {
    if (m_names.count(objectId) != 0)
        return; // property and type definitions are no items
    if (m_reader.FindObject(objectId) == nullptr || !Room())
        return;
    m_shown.insert(objectId);
    OmfTreeItem item{ObjectText(objectId), true, {}};
    // A reference back to an object being expanded, or one too deep, is a
    // plain item: expanding it would never end.
    const bool expand = m_expanding.count(objectId) == 0 && m_expanding.size() < kMaxDepth;
    if (!expand)
        item.bold = false;
    const auto at = std::upper_bound(siblings.begin(), siblings.end(), item,
                                     [](const OmfTreeItem& a, const OmfTreeItem& b) {
                                         return strcasecmp(a.text.c_str(), b.text.c_str()) < 0;
                                     });
    OmfTreeItem& placed = *siblings.insert(at, std::move(item));
    if (!expand)
        return;
    m_expanding.insert(objectId);
    AddPropertyNodes(objectId, placed);
    m_expanding.erase(objectId);
}

void OmfTreeBuilder::AddPropertyNodes(std::uint32_t objectId, OmfTreeItem& parent) {
    ObjectEntry* object = m_reader.FindObject(objectId);
    if (object == nullptr)
        return;
    // The table is copied: expanding references reads values, never the table.
    std::vector<PropertyRef> properties;
    for (const auto& [propertyId, property] : object->properties)
        properties.push_back(property);
    for (PropertyRef property : properties) {
        if (m_tree.cutShort)
            return;
        if (property->propertyId == omf::kPropClass)
            continue;
        const auto name = m_names.find(property->propertyId);
        if (name == m_names.end())
            continue;
        OmfTreeItem item;
        if (!PropertyItem(*property, name->second, objectId, item) || !Room())
            continue;
        parent.children.push_back(std::move(item));
        OmfTreeItem& added = parent.children.back();
        if (property->typeId == omf::kTypeMobTable || property->typeId == omf::kTypeObjectRef ||
            property->typeId == omf::kTypeObjectRefArray) {
            added.bold = true;
            for (std::uint32_t target : References(*property))
                AddObjectNode(target, added.children);
        }
    }
}

std::vector<std::uint32_t> OmfTreeBuilder::References(const TocEntry& property) {
    // Where each entry names its object: a reference is the object id
    // alone, an array entry the id and 4 more bytes, a mob table entry the
    // mob id before the object id and 4 bytes after it.
    std::size_t entrySize = 8;
    std::size_t idAt = 0;
    if (property.typeId == omf::kTypeMobTable) {
        entrySize = omf::kMobIndexEntrySize;
        idAt = 12;
    }
    std::vector<std::uint8_t> entries;
    if (property.typeId == omf::kTypeObjectRef) {
        entrySize = 4;
        entries = m_reader.ReadValueStart(&property, 4);
        entries.resize(entries.size() / 4 * 4);
    } else {
        entries = m_reader.ReadTableEntries(&property, entrySize, m_referencesLeft + 1);
    }
    const std::size_t count = entries.size() / entrySize;
    if (count > m_referencesLeft) {
        m_referencesLeft = 0;
        m_outOfReferences = true;
        m_tree.cutShort = true;
        return {};
    }
    m_referencesLeft -= count;
    std::vector<std::uint32_t> targets;
    for (std::size_t i = 0; i < count; ++i)
        targets.push_back(io::le32(entries.data() + i * entrySize + idAt));
    return targets;
}

bool OmfTreeBuilder::PropertyItem(const TocEntry& p, const std::string& name,
                                  std::uint32_t objectId, OmfTreeItem& item) {
    const std::uint32_t immediate = p.immediateValue();
    auto set = [&](const std::string& text) {
        item.text = text.size() > kMaxText ? text.substr(0, kMaxText) : text;
        return true;
    };
    auto boolean = [&] { return set(name + (immediate != 0 ? " --- (TRUE)" : " --- (FALSE)")); };
    // The two 32-bit words of an 8-byte value.
    auto twoWords = [&](std::uint32_t(&words)[2]) {
        const std::vector<std::uint8_t> v = m_reader.ReadValue(&p);
        if (v.size() != 8)
            return false;
        words[0] = io::le32(v.data());
        words[1] = io::le32(v.data() + 4);
        return true;
    };
    auto fields = [&] {
        if (p.valueLength != 2)
            return false;
        return set(name + " --- (" + fieldText(immediate & 0xFFFF) + ")");
    };
    switch (p.typeId) {
    case 65600:
        return set(name + " --- (" +
                   (immediate <= 4 ? std::string(fromTable(
                                         immediate, {"kOMFNullAttribute", "kOMFIntegerAttribute",
                                                     "kOMFStringAttribute", "kOMFObjectAttribute",
                                                     "kOMFDataValueAttribute"}))
                                   : std::string("UNKNOWN")) +
                   ")");
    case 65605:
        return boolean();
    case 65610:
    case 65640:
    case 65675:
    case 65690:
    case 65700:
    case 65705:
    case 65715:
    case 65725:
        return set(name + " --- (0x" + hex(immediate) + ")");
    case 65625:
    case 65671: {
        if (p.valueLength != 8)
            return fields();
        std::uint32_t words[2];
        if (!twoWords(words))
            return false;
        return set(name + " --- [" + std::to_string(static_cast<std::int32_t>(words[1])) + "/" +
                   std::to_string(static_cast<std::int32_t>(words[0])) + "]");
    }
    case 65665: {
        const auto* chars = reinterpret_cast<const char*>(p.immediate.data());
        return set(name + " --- (" + std::string(chars, strnlen(chars, 4)) + ")");
    }
    case 65670:
        return set(name + " --- (" +
                   fromTable(immediate, {"kCompMob", "kMasterMob", "kFileMob", "kTapeMob",
                                         "kFilmMob", "kPrimaryMob", "kAllMob"}) +
                   ")");
    case 65672:
    case 65730:
    case 65735: {
        if (p.valueLength != 8)
            return fields();
        std::uint32_t words[2];
        if (!twoWords(words))
            return false;
        return set(name + " --- {0x" + hex(words[0] | static_cast<std::uint64_t>(words[1]) << 32) +
                   "}");
    }
    case 65740:
        return fields();
    case 65680: {
        if (p.valueLength == 0)
            return boolean();
        if (p.valueLength <= 4) {
            const auto* chars = reinterpret_cast<const char*>(p.immediate.data());
            return set(name + "  --- ( " + std::string(chars, strnlen(chars, p.valueLength)) +
                       " )");
        }
        char text[512] = {};
        m_reader.ReadString(&p, text, sizeof text);
        return set(name + "  --- { " + std::string(text, strnlen(text, sizeof text)) + " }");
    }
    case 65685: {
        const std::vector<std::uint8_t> v = m_reader.ReadValueStart(&p, 4);
        const std::uint32_t seconds = v.size() == 4 ? io::le32(v.data()) : 0;
        return set(name + " --- { " + OmfDateText(seconds) + " }");
    }
    default:
        break;
    }
    // A plain item; some types add children of their own.
    set(name);
    if (p.typeId == omf::kTypeMobId) {
        if (p.valueLength != 12)
            return true;
        const std::vector<std::uint8_t> v = m_reader.ReadValue(&p);
        if (v.size() != 12)
            return true;
        const std::uint32_t third = io::le32(v.data() + 8);
        if (const MobIndexEntry* mob = m_reader.MobIds().find(third); mob != nullptr && Room()) {
            char text[256];
            std::snprintf(text, sizeof text, "%s {0x%x -- 0x%x%s}", OmfDateText(third).c_str(),
                          third, mob->objectId, mob->objectId == objectId ? " Current" : "");
            item.children.push_back({text, false, {}});
        }
    } else if (p.typeId != omf::kTypeMobTable && p.typeId != omf::kTypeObjectRef &&
               p.typeId != omf::kTypeObjectRefArray) {
        const auto typeName = m_names.find(p.typeId);
        if (typeName != m_names.end() && Room())
            item.children.push_back({typeName->second, false, {}});
    }
    return true;
}
