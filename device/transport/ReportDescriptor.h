#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/transport/HidTypes.h"

namespace talyx {

// One usage or usage range listed before a main item, with the usage page that was in
// force when the main item was read (or the page carried by an extended 32-bit usage).
struct HidUsageRange {
    uint16_t usagePage = 0;
    uint16_t usageMin = 0;
    uint16_t usageMax = 0; // equal to usageMin for a single usage
    bool isRange = false;
    uint32_t size() const { return uint32_t(usageMax) - usageMin + 1; }
};

// One Input, Output or Feature main item as it lies in its report.
struct HidReportField {
    HidReportType type = HidReportType::Input;
    uint8_t reportId = 0;
    uint32_t bitOffset = 0; // first bit after the report id byte, little-endian bit order
    uint32_t bitSize = 0;   // of one element
    uint32_t reportCount = 0;
    uint32_t flags = 0; // the main item's data: bit 0 constant, 1 variable, 2 relative, 6 null state
    int64_t logicalMin = 0;
    int64_t logicalMax = 0;
    int64_t physicalMin = 0;
    int64_t physicalMax = 0;
    int32_t unitExponent = 0;
    uint32_t unit = 0;
    uint16_t linkCollection = 0; // index into the collection's link nodes
    std::vector<HidUsageRange> usages;

    bool isConstant() const { return flags & 0x01; }
    bool isVariable() const { return flags & 0x02; }
    bool isAbsolute() const { return !(flags & 0x04); }
    bool hasNull() const { return flags & 0x40; }
    // Arrays and one-bit variables report usages that are down; everything else is a value.
    bool isButton() const { return !isVariable() || bitSize == 1; }
    // Constant items and items without usages only fill bits.
    bool isPadding() const { return isConstant() || usages.empty(); }
    // Number of usages listed (ranges counted in full).
    uint32_t usageCount() const;
    // The usage of list position `index`; past the end of the list the last usage repeats.
    // False when the list is empty.
    bool usageAt(uint32_t index, uint16_t& page, uint16_t& usage) const;
};

// A collection inside a top-level collection (node 0 is the top-level one itself).
struct HidLinkCollection {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint16_t parent = 0;
    uint8_t collectionType = 0; // 0 physical, 1 application, 2 logical, ...
};

// One entry of the button or value caps of a report type. A button entry stands for a
// usage or usage range of an array or one-bit field; a value entry for a usage (possibly
// repeated reportCount times) or a usage range of a multi-bit variable field.
struct HidControlCaps {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;
    bool isRange = false;
    uint16_t usageMin = 0;
    uint16_t usageMax = 0;
    uint16_t linkCollection = 0;
    uint16_t linkUsagePage = 0;
    uint16_t linkUsage = 0;
    bool isAbsolute = true;
    uint32_t flags = 0;      // the main item's data bits
    uint32_t field = 0;      // index into the collection's fields
    uint32_t firstIndex = 0; // first element of the field this entry covers
    uint32_t reportCount = 0;
    // Value entries only.
    bool hasNull = false;
    uint32_t bitSize = 0;
    int64_t logicalMin = 0;
    int64_t logicalMax = 0;
    int64_t physicalMin = 0;
    int64_t physicalMax = 0;
    int32_t unitExponent = 0;
    uint32_t unit = 0;
};

// Everything known about one top-level collection.
struct HidTopLevelCollection {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    // Every report id this collection's main items use, ascending; {0} without report ids.
    std::vector<uint8_t> reportIds;
    // The input report ids only: a read on this collection delivers just these.
    std::vector<uint8_t> inputReportIds;
    // This collection as a descriptor of its own: the global items it inherits from
    // earlier collections, then its own items. Parses to the same caps.
    std::vector<uint8_t> descriptor;
    HidCaps caps;
    std::vector<HidReportField> fields;
    std::vector<HidLinkCollection> links;
    std::vector<HidControlCaps> buttonCaps[3];
    std::vector<HidControlCaps> valueCaps[3];

    struct ItemSource {
        bool isButton = false;
        uint32_t caps = 0;  // index into buttonCaps or valueCaps
        uint16_t usage = 0; // value items: the usage of the range this item stands for
        uint32_t room = 0;  // button items: length of the usage list
    };
    std::vector<ItemSource> itemSources[3];
};

// Our parser of HID report descriptors.
//
// Parses a whole interface descriptor (hidraw gives one per interface) or the descriptor
// of one collection (the virtual bus sends those), and keeps per top-level collection the
// caps, button and value caps, fields and data items that reports are unpacked with.
// Malformed input is rejected without reading past its end: truncated items, collections
// that do not nest, Pop without Push, report id 0, usage ranges running backwards, main
// items outside any collection, a report id shared by two top-level collections, or
// reports and item counts beyond what a HID device can carry.
class ReportDescriptor {
public:
    // Longest report that a device can send, id byte excluded (the kernel's buffer).
    static constexpr uint32_t kMaxReportBytes = 16383;

    // Replaces the content with the parse of `data`. False when malformed; the object is
    // then empty. Never reads outside data[0..length).
    bool Parse(const uint8_t* data, size_t length);
    bool Parse(const std::vector<uint8_t>& data) { return Parse(data.data(), data.size()); }

    // True when the descriptor declares report ids: every report then starts with its id,
    // and without them the report data starts at once (hidraw) or after a 0 (our callers).
    bool UsesReportIds() const { return m_usesReportIds; }
    size_t CollectionCount() const { return m_collections.size(); }
    const HidTopLevelCollection& Collection(size_t index) const { return m_collections.at(index); }

    // The data items of a report type, empty: one per button caps entry, then one per
    // usage of each value caps entry. The button usage lists have the room that the most
    // usages of their page that one report of this type can carry.
    std::vector<HidDataItem> BuildDataItems(size_t collection, HidReportType type) const;

    // Fills the items (built by BuildDataItems for the same collection and type) whose
    // report id equals report[0]. Buttons: the usages down in the report on the item's
    // page, those outside the item's minimum to maximum dropped, ended with 0 when the
    // list is not full. Values: raw and scaled. False, with the failing item's status set,
    // when a value cannot be extracted or the report is shorter than the report of its id
    // (the items of that id then carry kHidExtractReportTooShort and empty usage lists:
    // a report cut short must not leave the previous one's buttons looking current).
    bool UnpackReport(size_t collection, const uint8_t* report, size_t length, HidReportType type,
                      std::vector<HidDataItem>& items) const;

    // The usages on `usagePage` that are down in the report, as a host's report parser
    // lists them (array slots in order, then bits). False when the report is too short.
    bool GetUsages(size_t collection, HidReportType type, uint16_t usagePage, const uint8_t* report, size_t length,
                   std::vector<uint16_t>& usages) const;

    // Room a usage list of this page needs: the most usages one report can hold down.
    uint32_t MaxUsageListLength(size_t collection, HidReportType type, uint16_t usagePage) const;

private:
    bool m_usesReportIds = false;
    std::vector<HidTopLevelCollection> m_collections;
};

// Result codes of value extraction, kept in HidDataItem::status.
enum HidExtractStatus : int32_t {
    kHidExtractOk = 0,
    kHidExtractReportTooShort = 1, // the report ends before the field
    kHidExtractTooWide = 2,        // the field is wider than 32 bits
    kHidExtractNoSuchItem = 3,     // the item does not belong to this collection's layout
};

} // namespace talyx
