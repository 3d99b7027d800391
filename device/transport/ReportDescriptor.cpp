#include "device/transport/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace talyx {
namespace {

constexpr size_t kTypeCount = 3;
constexpr size_t kMaxPushDepth = 16;
constexpr size_t kMaxCollectionDepth = 64;
// Widest element a main item may declare; wider ones only come from broken descriptors.
constexpr uint32_t kMaxReportSize = 256;
constexpr uint32_t kMaxReportBits = ReportDescriptor::kMaxReportBytes * 8;
// Data items of one report type: the caps counters are 16-bit.
constexpr size_t kMaxDataItems = 0xFFFF;
// Usage-list entries of all button items of one type together, so that a hostile
// descriptor cannot make the items of a collection take more than a few megabytes.
constexpr size_t kMaxUsageRoom = size_t(1) << 20;

size_t typeIndex(HidReportType type) {
    return static_cast<size_t>(type);
}

int64_t signExtend(uint32_t raw, uint32_t bits) {
    if (bits == 0)
        return 0;
    if (bits >= 32)
        return static_cast<int32_t>(raw);
    const uint32_t sign = uint32_t(1) << (bits - 1);
    raw &= (sign << 1) - 1;
    return (raw & sign) ? int64_t(raw) - (int64_t(1) << bits) : int64_t(raw);
}

// Reads bitSize (<= 32) bits starting at bitOffset, least significant bit first, as HID
// lays fields out. The caller has checked that they lie inside the data.
uint32_t extractBits(const uint8_t* data, uint32_t bitOffset, uint32_t bitSize) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < bitSize; ++i) {
        const uint32_t bit = bitOffset + i;
        if ((data[bit / 8] >> (bit % 8)) & 1)
            value |= uint32_t(1) << i;
    }
    return value;
}

struct GlobalState {
    uint16_t usagePage = 0;
    uint32_t logicalMinRaw = 0;
    uint32_t logicalMaxRaw = 0;
    uint32_t physicalMinRaw = 0;
    uint32_t physicalMaxRaw = 0;
    uint8_t logicalMinSize = 0;
    uint8_t logicalMaxSize = 0;
    uint8_t physicalMinSize = 0;
    uint8_t physicalMaxSize = 0;
    int32_t unitExponent = 0;
    uint32_t unit = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// A usage as listed; the page of a 1- or 2-byte usage is the one in force at the main item.
struct PendingUsage {
    uint32_t min = 0;
    uint32_t max = 0;
    bool minExtended = false;
    bool maxExtended = false;
    bool isRange = false;
};

struct Span {
    size_t begin;
    size_t end;
};

// Minimum and maximum are read as signed numbers of their item size, except that a
// maximum whose minimum is not negative is unsigned: descriptors routinely write
// 0..255 as 15 00 25 FF.
void resolveRange(uint32_t minRaw, uint8_t minSize, uint32_t maxRaw, uint8_t maxSize, int64_t& min, int64_t& max) {
    min = signExtend(minRaw, minSize * 8u);
    max = min >= 0 ? int64_t(maxRaw) : signExtend(maxRaw, maxSize * 8u);
}

class Parser {
public:
    Parser(const uint8_t* data, size_t length) : m_data(data), m_length(length) {
        for (auto& row : m_owner)
            row.fill(-1);
        for (auto& row : m_bits)
            row.fill(0);
    }

    bool run();

    std::vector<HidTopLevelCollection> collections;
    bool usesReportIds = false;

private:
    bool mainItem(uint8_t tag, uint32_t value, size_t end);
    bool globalItem(uint8_t tag, uint32_t value, size_t size);
    bool localItem(uint8_t tag, uint32_t value, size_t size);
    bool resolveUsages(std::vector<HidUsageRange>& out) const;
    bool addField(HidReportType type, uint32_t flags);
    bool finishCollection(size_t end);
    void clearLocals() {
        m_usages.clear();
        m_haveMin = m_haveMax = false;
        m_delimiterOpen = m_delimiterTaken = false;
    }
    void addPendingUsage(const PendingUsage& usage) {
        // Inside a delimiter set the first usage is the one that counts; the rest are
        // aliases of the same control.
        if (m_delimiterOpen) {
            if (m_delimiterTaken)
                return;
            m_delimiterTaken = true;
        }
        m_usages.push_back(usage);
    }

    const uint8_t* m_data;
    size_t m_length;
    GlobalState m_global;
    std::vector<GlobalState> m_stack;
    std::vector<PendingUsage> m_usages;
    bool m_haveMin = false;
    bool m_haveMax = false;
    PendingUsage m_range;
    bool m_delimiterOpen = false;
    bool m_delimiterTaken = false;
    std::vector<uint16_t> m_collectionStack; // link node indices of the open collections
    size_t m_localsStart = 0;                // first byte after the last main item
    size_t m_collectionStart = 0;            // where the open top-level collection's items begin
    std::vector<Span> m_globalSpans;
    std::array<std::array<uint32_t, 256>, kTypeCount> m_bits;
    std::array<std::array<int, 256>, kTypeCount> m_owner;
};

bool Parser::run() {
    size_t pos = 0;
    while (pos < m_length) {
        const uint8_t prefix = m_data[pos];
        if (prefix == 0xFE) {
            // Long item: size byte, tag byte, data. No long item tags are defined; skip.
            if (m_length - pos < 3)
                return false;
            const size_t size = m_data[pos + 1];
            if (m_length - pos - 3 < size)
                return false;
            pos += 3 + size;
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (m_length - pos - 1 < size)
            return false;
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= uint32_t(m_data[pos + 1 + i]) << (8 * i);
        const uint8_t type = (prefix >> 2) & 3;
        const uint8_t tag = prefix >> 4;
        const size_t begin = pos;
        pos += 1 + size;
        bool ok = true;
        switch (type) {
        case 0:
            ok = mainItem(tag, value, pos);
            m_localsStart = pos;
            break;
        case 1:
            ok = globalItem(tag, value, size);
            m_globalSpans.push_back({begin, pos});
            break;
        case 2:
            ok = localItem(tag, value, size);
            break;
        default:
            break; // reserved item type: nothing to learn from it
        }
        if (!ok)
            return false;
    }
    return m_collectionStack.empty() && !collections.empty();
}

bool Parser::globalItem(uint8_t tag, uint32_t value, size_t size) {
    const uint8_t bytes = static_cast<uint8_t>(size);
    switch (tag) {
    case 0x0:
        m_global.usagePage = static_cast<uint16_t>(value);
        break;
    case 0x1:
        m_global.logicalMinRaw = value;
        m_global.logicalMinSize = bytes;
        break;
    case 0x2:
        m_global.logicalMaxRaw = value;
        m_global.logicalMaxSize = bytes;
        break;
    case 0x3:
        m_global.physicalMinRaw = value;
        m_global.physicalMinSize = bytes;
        break;
    case 0x4:
        m_global.physicalMaxRaw = value;
        m_global.physicalMaxSize = bytes;
        break;
    case 0x5:
        // The exponent is a signed nibble; some devices write a whole signed byte instead.
        m_global.unitExponent = value <= 0xF ? int32_t(value >= 8 ? int32_t(value) - 16 : int32_t(value))
                                             : int32_t(signExtend(value, bytes * 8u));
        break;
    case 0x6:
        m_global.unit = value;
        break;
    case 0x7:
        m_global.reportSize = value;
        break;
    case 0x8:
        if (value == 0 || value > 0xFF)
            return false;
        m_global.reportId = static_cast<uint8_t>(value);
        usesReportIds = true;
        break;
    case 0x9:
        m_global.reportCount = value;
        break;
    case 0xA:
        if (m_stack.size() >= kMaxPushDepth)
            return false;
        m_stack.push_back(m_global);
        break;
    case 0xB:
        if (m_stack.empty())
            return false;
        m_global = m_stack.back();
        m_stack.pop_back();
        break;
    default:
        break; // reserved global tag
    }
    return true;
}

bool Parser::localItem(uint8_t tag, uint32_t value, size_t size) {
    const bool extended = size == 4;
    switch (tag) {
    case 0x0: {
        PendingUsage usage;
        usage.min = usage.max = value;
        usage.minExtended = usage.maxExtended = extended;
        addPendingUsage(usage);
        break;
    }
    case 0x1:
        m_range.min = value;
        m_range.minExtended = extended;
        m_haveMin = true;
        break;
    case 0x2:
        m_range.max = value;
        m_range.maxExtended = extended;
        m_haveMax = true;
        break;
    case 0xA:
        // Delimiter: 1 opens a set of alternative usages, 0 closes it.
        if (value == 1) {
            if (m_delimiterOpen)
                return false;
            m_delimiterOpen = true;
            m_delimiterTaken = false;
        } else if (value == 0) {
            if (!m_delimiterOpen)
                return false;
            m_delimiterOpen = false;
        } else {
            return false;
        }
        break;
    default:
        break; // designators and strings do not change the report layout
    }
    if (m_haveMin && m_haveMax) {
        m_range.isRange = true;
        addPendingUsage(m_range);
        m_range = PendingUsage{};
        m_haveMin = m_haveMax = false;
    }
    return true;
}

bool Parser::resolveUsages(std::vector<HidUsageRange>& out) const {
    out.clear();
    out.reserve(m_usages.size());
    for (const PendingUsage& p : m_usages) {
        HidUsageRange r;
        r.usagePage = p.minExtended ? uint16_t(p.min >> 16) : m_global.usagePage;
        r.usageMin = uint16_t(p.min & 0xFFFF);
        r.usageMax = uint16_t(p.max & 0xFFFF);
        r.isRange = p.isRange;
        if (p.isRange) {
            const uint16_t maxPage = p.maxExtended ? uint16_t(p.max >> 16) : m_global.usagePage;
            if (maxPage != r.usagePage || r.usageMax < r.usageMin)
                return false;
        }
        out.push_back(r);
    }
    return true;
}

bool Parser::mainItem(uint8_t tag, uint32_t value, size_t end) {
    bool ok = true;
    switch (tag) {
    case 0x8:
        ok = addField(HidReportType::Input, value);
        break;
    case 0x9:
        ok = addField(HidReportType::Output, value);
        break;
    case 0xB:
        ok = addField(HidReportType::Feature, value);
        break;
    case 0xA: {
        if (m_collectionStack.size() >= kMaxCollectionDepth)
            return false;
        std::vector<HidUsageRange> usages;
        if (!resolveUsages(usages))
            return false;
        HidLinkCollection link;
        link.usagePage = usages.empty() ? m_global.usagePage : usages.front().usagePage;
        link.usage = usages.empty() ? 0 : usages.front().usageMin;
        link.collectionType = static_cast<uint8_t>(value);
        if (m_collectionStack.empty()) {
            HidTopLevelCollection tlc;
            tlc.usagePage = link.usagePage;
            tlc.usage = link.usage;
            tlc.links.push_back(link);
            collections.push_back(std::move(tlc));
            m_collectionStart = m_localsStart;
            m_collectionStack.push_back(0);
        } else {
            auto& links = collections.back().links;
            if (links.size() >= 0xFFFF)
                return false;
            link.parent = m_collectionStack.back();
            links.push_back(link);
            m_collectionStack.push_back(static_cast<uint16_t>(links.size() - 1));
        }
        break;
    }
    case 0xC:
        if (m_collectionStack.empty())
            return false;
        m_collectionStack.pop_back();
        if (m_collectionStack.empty())
            ok = finishCollection(end);
        break;
    default:
        break; // reserved main tag
    }
    clearLocals();
    return ok;
}

bool Parser::addField(HidReportType type, uint32_t flags) {
    if (m_collectionStack.empty())
        return false; // a report item must belong to a top-level collection
    if (m_global.reportSize > kMaxReportSize || m_global.reportCount > kMaxReportBits)
        return false;
    const size_t t = typeIndex(type);
    const uint8_t id = m_global.reportId;
    const int self = static_cast<int>(collections.size() - 1);
    // One report belongs to one top-level collection: that is how a read is routed to
    // the collection it came from.
    if (m_owner[t][id] >= 0 && m_owner[t][id] != self)
        return false;
    m_owner[t][id] = self;
    const uint64_t bits = uint64_t(m_global.reportSize) * m_global.reportCount;
    if (m_bits[t][id] + bits > kMaxReportBits)
        return false;

    HidReportField field;
    field.type = type;
    field.reportId = id;
    field.bitOffset = m_bits[t][id];
    field.bitSize = m_global.reportSize;
    field.reportCount = m_global.reportCount;
    field.flags = flags;
    resolveRange(m_global.logicalMinRaw, m_global.logicalMinSize, m_global.logicalMaxRaw, m_global.logicalMaxSize,
                 field.logicalMin, field.logicalMax);
    resolveRange(m_global.physicalMinRaw, m_global.physicalMinSize, m_global.physicalMaxRaw, m_global.physicalMaxSize,
                 field.physicalMin, field.physicalMax);
    field.unitExponent = m_global.unitExponent;
    field.unit = m_global.unit;
    field.linkCollection = m_collectionStack.back();
    if (!resolveUsages(field.usages))
        return false;
    m_bits[t][id] += static_cast<uint32_t>(bits);

    HidTopLevelCollection& tlc = collections.back();
    tlc.fields.push_back(std::move(field));
    auto addId = [id](std::vector<uint8_t>& ids) {
        auto at = std::lower_bound(ids.begin(), ids.end(), id);
        if (at == ids.end() || *at != id)
            ids.insert(at, id);
    };
    addId(tlc.reportIds);
    if (type == HidReportType::Input)
        addId(tlc.inputReportIds);
    return true;
}

// How many usages of `page` one report of the field can hold down at once.
uint32_t fieldRoom(const HidReportField& f, uint16_t page) {
    if (f.isPadding() || !f.isButton() || f.bitSize == 0)
        return 0;
    if (!f.isVariable()) {
        for (const HidUsageRange& r : f.usages)
            if (r.usagePage == page)
                return f.reportCount;
        return 0;
    }
    uint64_t room = 0;
    uint64_t pos = 0;
    for (const HidUsageRange& r : f.usages) {
        if (pos >= f.reportCount)
            break;
        if (r.usagePage == page)
            room += std::min<uint64_t>(r.size(), f.reportCount - pos);
        pos += r.size();
    }
    // Bits past the listed usages repeat the last one.
    if (pos < f.reportCount && f.usages.back().usagePage == page)
        room += f.reportCount - pos;
    return static_cast<uint32_t>(std::min<uint64_t>(room, kMaxReportBits));
}

uint32_t collectionRoom(const HidTopLevelCollection& c, HidReportType type, uint16_t page) {
    uint64_t room = 0;
    for (const HidReportField& f : c.fields)
        if (f.type == type)
            room += fieldRoom(f, page);
    return static_cast<uint32_t>(std::min<uint64_t>(room, std::numeric_limits<uint32_t>::max()));
}

// collectionRoom for every page of a report type at once, in one pass over the fields.
std::vector<std::pair<uint16_t, uint64_t>> roomsByPage(const HidTopLevelCollection& c, HidReportType type) {
    std::vector<std::pair<uint16_t, uint64_t>> rooms;
    auto add = [&rooms](uint16_t page, uint64_t n) {
        auto at = std::lower_bound(rooms.begin(), rooms.end(), std::make_pair(page, uint64_t(0)),
                                   [](const auto& a, const auto& b) { return a.first < b.first; });
        if (at == rooms.end() || at->first != page)
            at = rooms.insert(at, {page, 0});
        at->second += n;
    };
    std::vector<uint16_t> pages;
    for (const HidReportField& f : c.fields) {
        if (f.type != type || f.isPadding() || !f.isButton() || f.bitSize == 0)
            continue;
        if (!f.isVariable()) {
            pages.clear();
            for (const HidUsageRange& r : f.usages)
                pages.push_back(r.usagePage);
            std::sort(pages.begin(), pages.end());
            pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
            for (uint16_t page : pages)
                add(page, f.reportCount);
            continue;
        }
        uint64_t pos = 0;
        for (const HidUsageRange& r : f.usages) {
            if (pos >= f.reportCount)
                break;
            add(r.usagePage, std::min<uint64_t>(r.size(), f.reportCount - pos));
            pos += r.size();
        }
        if (pos < f.reportCount)
            add(f.usages.back().usagePage, f.reportCount - pos);
    }
    return rooms;
}

HidControlCaps capsFor(const HidTopLevelCollection& c, const HidReportField& f, uint32_t fieldIndex,
                       const HidUsageRange& r) {
    HidControlCaps caps;
    caps.usagePage = r.usagePage;
    caps.reportId = f.reportId;
    caps.isRange = r.isRange;
    caps.usageMin = r.usageMin;
    caps.usageMax = r.usageMax;
    caps.linkCollection = f.linkCollection;
    caps.linkUsagePage = c.links[f.linkCollection].usagePage;
    caps.linkUsage = c.links[f.linkCollection].usage;
    caps.isAbsolute = f.isAbsolute();
    caps.flags = f.flags;
    caps.field = fieldIndex;
    caps.firstIndex = 0;
    caps.reportCount = f.reportCount;
    caps.hasNull = f.hasNull();
    caps.bitSize = f.bitSize;
    caps.logicalMin = f.logicalMin;
    caps.logicalMax = f.logicalMax;
    caps.physicalMin = f.physicalMin;
    caps.physicalMax = f.physicalMax;
    caps.unitExponent = f.unitExponent;
    caps.unit = f.unit;
    return caps;
}

void addFieldCaps(HidTopLevelCollection& c, uint32_t fieldIndex) {
    const HidReportField& f = c.fields[fieldIndex];
    if (f.isPadding() || f.bitSize == 0 || f.reportCount == 0)
        return;
    const size_t t = typeIndex(f.type);
    if (f.isButton()) {
        if (!f.isVariable()) {
            // An array's slots hold indices into the whole usage list: every listed
            // usage or range is one entry.
            for (const HidUsageRange& r : f.usages)
                c.buttonCaps[t].push_back(capsFor(c, f, fieldIndex, r));
            return;
        }
        uint64_t pos = 0;
        for (const HidUsageRange& r : f.usages) {
            if (pos >= f.reportCount)
                break;
            HidControlCaps caps = capsFor(c, f, fieldIndex, r);
            const uint64_t n = std::min<uint64_t>(r.size(), f.reportCount - pos);
            caps.usageMax = static_cast<uint16_t>(r.usageMin + n - 1);
            caps.firstIndex = static_cast<uint32_t>(pos);
            caps.reportCount = static_cast<uint32_t>(n);
            c.buttonCaps[t].push_back(caps);
            pos += r.size();
        }
        return;
    }
    uint64_t pos = 0;
    for (size_t i = 0; i < f.usages.size() && pos < f.reportCount; ++i) {
        const HidUsageRange& r = f.usages[i];
        const bool last = i + 1 == f.usages.size();
        HidControlCaps caps = capsFor(c, f, fieldIndex, r);
        caps.firstIndex = static_cast<uint32_t>(pos);
        if (r.isRange) {
            const uint64_t n = std::min<uint64_t>(r.size(), f.reportCount - pos);
            caps.usageMax = static_cast<uint16_t>(r.usageMin + n - 1);
            caps.reportCount = static_cast<uint32_t>(n);
            c.valueCaps[t].push_back(caps);
            pos += n;
            if (last && pos < f.reportCount) {
                // More elements than usages: the last usage stands for the rest.
                HidControlCaps rest = capsFor(c, f, fieldIndex, r);
                rest.isRange = false;
                rest.usageMin = rest.usageMax = r.usageMax;
                rest.firstIndex = static_cast<uint32_t>(pos);
                rest.reportCount = static_cast<uint32_t>(f.reportCount - pos);
                c.valueCaps[t].push_back(rest);
            }
        } else {
            caps.reportCount = static_cast<uint32_t>(last ? f.reportCount - pos : 1);
            c.valueCaps[t].push_back(caps);
            pos += 1;
        }
    }
}

bool Parser::finishCollection(size_t end) {
    HidTopLevelCollection& c = collections.back();

    // The collection's own descriptor: the global state it inherits, then its items.
    for (const Span& s : m_globalSpans) {
        if (s.end > m_collectionStart)
            break;
        c.descriptor.insert(c.descriptor.end(), m_data + s.begin, m_data + s.end);
    }
    c.descriptor.insert(c.descriptor.end(), m_data + m_collectionStart, m_data + end);

    for (uint32_t i = 0; i < c.fields.size(); ++i)
        addFieldCaps(c, i);

    for (size_t t = 0; t < kTypeCount; ++t) {
        const HidReportType type = static_cast<HidReportType>(t);
        auto& sources = c.itemSources[t];
        const auto rooms = roomsByPage(c, type);
        size_t roomTotal = 0;
        uint32_t indices = 0;
        for (uint32_t i = 0; i < c.buttonCaps[t].size(); ++i) {
            const HidControlCaps& caps = c.buttonCaps[t][i];
            HidTopLevelCollection::ItemSource src;
            src.isButton = true;
            src.caps = i;
            const auto room = std::lower_bound(rooms.begin(), rooms.end(), std::make_pair(caps.usagePage, uint64_t(0)),
                                               [](const auto& a, const auto& b) { return a.first < b.first; });
            if (room == rooms.end() || room->first != caps.usagePage || room->second > kMaxUsageRoom)
                return false;
            src.room = static_cast<uint32_t>(room->second);
            roomTotal += src.room;
            if (roomTotal > kMaxUsageRoom)
                return false;
            sources.push_back(src);
            indices += caps.usageMax - caps.usageMin + 1u;
        }
        for (uint32_t i = 0; i < c.valueCaps[t].size(); ++i) {
            const HidControlCaps& caps = c.valueCaps[t][i];
            for (uint32_t u = caps.usageMin; u <= caps.usageMax; ++u) {
                HidTopLevelCollection::ItemSource src;
                src.caps = i;
                src.usage = static_cast<uint16_t>(u);
                sources.push_back(src);
                if (sources.size() > kMaxDataItems)
                    return false;
            }
            indices += caps.usageMax - caps.usageMin + 1u;
        }
        if (sources.size() > kMaxDataItems)
            return false;

        uint32_t longest = 0;
        bool any = false;
        for (const HidReportField& f : c.fields) {
            if (f.type != type)
                continue;
            any = true;
            longest = std::max(longest, m_bits[t][f.reportId]);
        }
        const uint16_t length = any ? static_cast<uint16_t>((longest + 7) / 8 + 1) : 0;
        const auto buttons = static_cast<uint16_t>(c.buttonCaps[t].size());
        const auto values = static_cast<uint16_t>(c.valueCaps[t].size());
        const auto dataIndices = static_cast<uint16_t>(std::min<uint32_t>(indices, 0xFFFF));
        switch (type) {
        case HidReportType::Input:
            c.caps.inputReportByteLength = length;
            c.caps.numberInputButtonCaps = buttons;
            c.caps.numberInputValueCaps = values;
            c.caps.numberInputDataIndices = dataIndices;
            break;
        case HidReportType::Output:
            c.caps.outputReportByteLength = length;
            c.caps.numberOutputButtonCaps = buttons;
            c.caps.numberOutputValueCaps = values;
            c.caps.numberOutputDataIndices = dataIndices;
            break;
        case HidReportType::Feature:
            c.caps.featureReportByteLength = length;
            c.caps.numberFeatureButtonCaps = buttons;
            c.caps.numberFeatureValueCaps = values;
            c.caps.numberFeatureDataIndices = dataIndices;
            break;
        }
    }
    c.caps.usagePage = c.usagePage;
    c.caps.usage = c.usage;
    c.caps.numberLinkCollectionNodes = static_cast<uint16_t>(c.links.size());
    return true;
}

// Scales a raw value from the logical to the physical range. Without a physical range
// (both 0) the physical range is the logical one. 0 when the value is outside the
// logical range (a null value) or the ranges cannot scale.
int32_t scaleValue(const HidControlCaps& caps, uint32_t raw) {
    const int64_t value = caps.logicalMin < 0 ? signExtend(raw, caps.bitSize) : int64_t(raw);
    const int64_t lmin = caps.logicalMin;
    const int64_t lmax = caps.logicalMax;
    int64_t pmin = caps.physicalMin;
    int64_t pmax = caps.physicalMax;
    if (pmin == 0 && pmax == 0) {
        pmin = lmin;
        pmax = lmax;
    }
    if (lmax <= lmin || value < lmin || value > lmax)
        return 0;
    const __int128 scaled = __int128(value - lmin) * (pmax - pmin) / (lmax - lmin) + pmin;
    if (scaled > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (scaled < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(scaled);
}

} // namespace

uint32_t HidReportField::usageCount() const {
    uint64_t n = 0;
    for (const HidUsageRange& r : usages)
        n += r.size();
    return static_cast<uint32_t>(std::min<uint64_t>(n, std::numeric_limits<uint32_t>::max()));
}

bool HidReportField::usageAt(uint32_t index, uint16_t& page, uint16_t& usage) const {
    if (usages.empty())
        return false;
    uint64_t pos = 0;
    for (const HidUsageRange& r : usages) {
        if (index < pos + r.size()) {
            page = r.usagePage;
            usage = static_cast<uint16_t>(r.usageMin + (index - pos));
            return true;
        }
        pos += r.size();
    }
    page = usages.back().usagePage;
    usage = usages.back().usageMax;
    return true;
}

bool ReportDescriptor::Parse(const uint8_t* data, size_t length) {
    m_collections.clear();
    m_usesReportIds = false;
    if (!data && length)
        return false;
    Parser parser(data, length);
    if (!parser.run())
        return false;
    m_collections = std::move(parser.collections);
    m_usesReportIds = parser.usesReportIds;
    return true;
}

std::vector<HidDataItem> ReportDescriptor::BuildDataItems(size_t collection, HidReportType type) const {
    std::vector<HidDataItem> items;
    if (collection >= m_collections.size())
        return items;
    const HidTopLevelCollection& c = m_collections[collection];
    const size_t t = typeIndex(type);
    items.reserve(c.itemSources[t].size());
    for (const auto& src : c.itemSources[t]) {
        const HidControlCaps& caps = src.isButton ? c.buttonCaps[t][src.caps] : c.valueCaps[t][src.caps];
        HidDataItem item;
        item.isButton = src.isButton;
        item.usagePage = caps.usagePage;
        item.reportId = caps.reportId;
        if (src.isButton) {
            item.usageMin = caps.usageMin;
            item.usageMax = caps.usageMax;
            item.usages.assign(src.room, 0);
        } else {
            item.usage = src.usage;
        }
        items.push_back(std::move(item));
    }
    return items;
}

bool ReportDescriptor::GetUsages(size_t collection, HidReportType type, uint16_t usagePage, const uint8_t* report,
                                 size_t length, std::vector<uint16_t>& usages) const {
    usages.clear();
    if (collection >= m_collections.size() || !report || length == 0)
        return false;
    const uint8_t id = report[0];
    const uint8_t* data = report + 1;
    const uint64_t dataBits = uint64_t(length - 1) * 8;
    for (const HidReportField& f : m_collections[collection].fields) {
        if (f.type != type || f.reportId != id || f.isPadding() || !f.isButton() || f.bitSize == 0)
            continue;
        if (uint64_t(f.bitOffset) + uint64_t(f.bitSize) * f.reportCount > dataBits)
            return false;
        if (f.isVariable()) {
            // Bit i stands for list position i; past the list the last usage repeats.
            size_t chunk = 0;
            uint64_t chunkStart = 0;
            for (uint32_t i = 0; i < f.reportCount; ++i) {
                while (chunk + 1 < f.usages.size() && i >= chunkStart + f.usages[chunk].size())
                    chunkStart += f.usages[chunk++].size();
                const uint32_t bit = f.bitOffset + i;
                if (!((data[bit / 8] >> (bit % 8)) & 1))
                    continue;
                const HidUsageRange& r = f.usages[chunk];
                if (r.usagePage != usagePage)
                    continue;
                const uint16_t usage =
                    i < chunkStart + r.size() ? static_cast<uint16_t>(r.usageMin + (i - chunkStart)) : r.usageMax;
                if (usage != 0)
                    usages.push_back(usage);
            }
            continue;
        }
        if (f.bitSize > 32)
            return false;
        // Where each listed usage or range starts in the list, for the slots' indices.
        std::vector<uint64_t> starts;
        starts.reserve(f.usages.size());
        uint64_t count = 0;
        for (const HidUsageRange& r : f.usages) {
            starts.push_back(count);
            count += r.size();
        }
        for (uint32_t i = 0; i < f.reportCount; ++i) {
            const uint32_t raw = extractBits(data, f.bitOffset + i * f.bitSize, f.bitSize);
            const int64_t index = f.logicalMin < 0 ? signExtend(raw, f.bitSize) : int64_t(raw);
            // Out-of-range slots are empty (the "no key" value of keyboards and consumer arrays).
            if (index < f.logicalMin || index > f.logicalMax || uint64_t(index - f.logicalMin) >= count)
                continue;
            const uint64_t position = uint64_t(index - f.logicalMin);
            const size_t chunk = std::upper_bound(starts.begin(), starts.end(), position) - starts.begin() - 1;
            const HidUsageRange& r = f.usages[chunk];
            const auto usage = static_cast<uint16_t>(r.usageMin + (position - starts[chunk]));
            if (r.usagePage == usagePage && usage != 0)
                usages.push_back(usage);
        }
    }
    return true;
}

uint32_t ReportDescriptor::MaxUsageListLength(size_t collection, HidReportType type, uint16_t usagePage) const {
    if (collection >= m_collections.size())
        return 0;
    return collectionRoom(m_collections[collection], type, usagePage);
}

bool ReportDescriptor::UnpackReport(size_t collection, const uint8_t* report, size_t length, HidReportType type,
                                    std::vector<HidDataItem>& items) const {
    if (collection >= m_collections.size() || !report || length == 0)
        return false;
    const HidTopLevelCollection& c = m_collections[collection];
    const size_t t = typeIndex(type);
    const auto& sources = c.itemSources[t];
    if (items.size() != sources.size())
        return false;
    const uint8_t id = report[0];
    const uint8_t* data = report + 1;
    const uint64_t dataBits = uint64_t(length - 1) * 8;

    // A report cut short says nothing reliable about any of its controls.
    uint64_t reportBits = 0;
    for (const HidReportField& f : c.fields)
        if (f.type == type && f.reportId == id)
            reportBits += uint64_t(f.bitSize) * f.reportCount;
    if (reportBits > dataBits) {
        for (size_t i = 0; i < items.size(); ++i) {
            const auto& src = sources[i];
            const HidControlCaps& caps = src.isButton ? c.buttonCaps[t][src.caps] : c.valueCaps[t][src.caps];
            if (caps.reportId != id)
                continue;
            items[i].status = kHidExtractReportTooShort;
            if (src.isButton)
                items[i].usages.assign(src.room, 0);
        }
        return false;
    }

    // The usages down are listed once per page and shared by the items of that page.
    std::vector<std::pair<uint16_t, std::vector<uint16_t>>> downByPage;
    for (size_t i = 0; i < items.size(); ++i) {
        HidDataItem& item = items[i];
        const auto& src = sources[i];
        if (src.isButton) {
            const HidControlCaps& caps = c.buttonCaps[t][src.caps];
            if (caps.reportId != id)
                continue;
            auto found = std::find_if(downByPage.begin(), downByPage.end(),
                                      [&](const auto& entry) { return entry.first == caps.usagePage; });
            if (found == downByPage.end()) {
                std::vector<uint16_t> down;
                if (!GetUsages(collection, type, caps.usagePage, report, length, down)) {
                    item.usages.assign(src.room, 0);
                    item.status = kHidExtractReportTooShort;
                    return false;
                }
                downByPage.emplace_back(caps.usagePage, std::move(down));
                found = downByPage.end() - 1;
            }
            item.usages.assign(src.room, 0);
            size_t n = 0;
            for (uint16_t usage : found->second) {
                if (usage < caps.usageMin || usage > caps.usageMax)
                    continue;
                if (n == item.usages.size())
                    break;
                item.usages[n++] = usage;
            }
            item.status = kHidExtractOk;
            item.isSet = true;
            continue;
        }
        const HidControlCaps& caps = c.valueCaps[t][src.caps];
        if (caps.reportId != id)
            continue;
        const HidReportField& f = c.fields[caps.field];
        const uint32_t element = caps.firstIndex + (caps.isRange ? uint32_t(src.usage - caps.usageMin) : 0);
        if (f.bitSize > 32) {
            item.status = kHidExtractTooWide;
            return false;
        }
        const uint64_t bit = uint64_t(f.bitOffset) + uint64_t(element) * f.bitSize;
        if (bit + f.bitSize > dataBits) {
            item.status = kHidExtractReportTooShort;
            return false;
        }
        item.rawValue = extractBits(data, static_cast<uint32_t>(bit), f.bitSize);
        item.scaledValue = scaleValue(caps, item.rawValue);
        item.status = kHidExtractOk;
        item.isSet = true;
    }
    return true;
}

} // namespace talyx
