// Capability negotiation with the data source: containers, set and reset rules, condition codes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "ds_test_support.h"

using namespace q47::dstest;

namespace {

struct Capability : ::testing::Test {
    OpenSource s;
    RecordingManager& manager = RecordingManager::instance();

    // The container the source handed out, freed the way an application frees it.
    struct Container {
        TW_UINT16 conType = 0;
        std::vector<uint8_t> bytes;
    };
    TW_UINT16 ask(TW_UINT16 msg, TW_UINT16 capId, Container* out = nullptr) {
        TW_CAPABILITY cap{capId, TWON_DONTCARE16, nullptr};
        const TW_UINT16 rc = s.call(DG_CONTROL, DAT_CAPABILITY, msg, &cap);
        if (rc == TWRC_SUCCESS) {
            EXPECT_TRUE(manager.owns(cap.hContainer)) << "containers come from DSM_MemAllocate";
            if (out) {
                out->conType = cap.ConType;
                const auto* p = static_cast<const uint8_t*>(cap.hContainer);
                // Only the bytes this container type has; more would read past it.
                size_t size = sizeof(TW_ONEVALUE);
                if (cap.ConType == TWON_ENUMERATION || cap.ConType == TWON_ARRAY) {
                    const bool enumeration = cap.ConType == TWON_ENUMERATION;
                    TW_UINT16 type;
                    TW_UINT32 n;
                    std::memcpy(&type, p, 2);
                    std::memcpy(&n, p + 2, 4);
                    size = (enumeration ? 14 : 6) + n * (type == TWTY_FIX32 ? 4 : 2);
                }
                out->bytes.assign(p, p + size);
            }
            managerFree(cap.hContainer);
        } else {
            EXPECT_EQ(+cap.hContainer, nullptr);
        }
        return rc;
    }
    TW_UINT32 current(TW_UINT16 capId) {
        Container c;
        EXPECT_EQ(ask(MSG_GETCURRENT, capId, &c), TWRC_SUCCESS);
        return oneValueItem(c);
    }
    static TW_UINT32 oneValueItem(const Container& c) {
        EXPECT_EQ(c.conType, TWON_ONEVALUE);
        TW_UINT32 item = 0;
        if (c.bytes.size() >= 6) std::memcpy(&item, c.bytes.data() + 2, 4);
        return item;
    }
    static TW_UINT16 itemType(const Container& c) {
        TW_UINT16 t = 0;
        std::memcpy(&t, c.bytes.data(), 2);
        return t;
    }
    TW_UINT16 set(TW_UINT16 capId, TW_UINT16 type, TW_UINT32 value, TW_UINT16 conType = TWON_ONEVALUE) {
        TW_ONEVALUE one{type, value};
        TW_CAPABILITY cap{capId, conType, &one};
        return s.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    }
    void TearDown() override {
        EXPECT_EQ(manager.foreignFrees, 0);
    }
};

TEST_F(Capability, OneValueContainersCarryTypeAndValue) {
    const struct {
        TW_UINT16 cap, type;
        TW_UINT32 value;
    } expected[] = {
        {CAP_XFERCOUNT, TWTY_UINT16, 1},         {ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE},
        {ICAP_PIXELTYPE, TWTY_UINT16, 3},        {ICAP_UNITS, TWTY_UINT16, TWUN_INCHES},
        {CAP_INDICATORS, TWTY_BOOL, 1},          {CAP_UICONTROLLABLE, TWTY_BOOL, 0},
        {CAP_ENABLEDSUIONLY, TWTY_BOOL, 1},      {ICAP_PHYSICALWIDTH, TWTY_FIX32, 200},
        {ICAP_PHYSICALHEIGHT, TWTY_FIX32, 200},  {ICAP_BITORDER, TWTY_UINT16, TWBO_MSBFIRST},
        {ICAP_PIXELFLAVOR, TWTY_UINT16, 0},      {ICAP_PLANARCHUNKY, TWTY_UINT16, TWPC_CHUNKY},
        {ICAP_SUPPORTEDSIZES, TWTY_UINT16, 1},   {ICAP_BITDEPTH, TWTY_UINT16, 8},
    };
    for (const auto& e : expected) {
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
            Container c;
            ASSERT_EQ(ask(msg, e.cap, &c), TWRC_SUCCESS) << std::hex << e.cap << " msg " << msg;
            EXPECT_EQ(itemType(c), e.type) << std::hex << e.cap;
            EXPECT_EQ(oneValueItem(c), e.value) << std::hex << e.cap;
        }
    }
}

TEST_F(Capability, TransferMechanismsAreAnEnumerationWhoseCurrentIndexIsTheSetValue) {
    // An application that sets a mechanism and reads it back with MSG_GET (as the
    // working group's sample application does) must see what it set.
    const TW_UINT16 mechs[] = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
    for (TW_UINT32 index : {2u, 1u, 0u}) {
        ASSERT_EQ(set(ICAP_XFERMECH, TWTY_UINT16, mechs[index]), TWRC_SUCCESS);
        Container c;
        ASSERT_EQ(ask(MSG_GET, ICAP_XFERMECH, &c), TWRC_SUCCESS);
        EXPECT_EQ(c.conType, TWON_ENUMERATION);
        const uint8_t expected[] = {TWTY_UINT16, 0, 3, 0, 0, 0, uint8_t(index), 0, 0, 0, 0, 0, 0, 0,
                                    TWSX_NATIVE, 0, TWSX_FILE, 0, TWSX_MEMORY, 0};
        EXPECT_EQ(c.bytes, std::vector<uint8_t>(expected, expected + sizeof expected))
            << "after setting " << mechs[index];
        EXPECT_EQ(current(ICAP_XFERMECH), mechs[index]);
    }
    // A stored value that is no item of the list points at the default.
    ASSERT_EQ(set(ICAP_XFERMECH, TWTY_UINT16, 7), TWRC_SUCCESS);
    Container c;
    ASSERT_EQ(ask(MSG_GET, ICAP_XFERMECH, &c), TWRC_SUCCESS);
    EXPECT_EQ(c.bytes[6], 0);
}

TEST_F(Capability, ResolutionsAreAnEnumerationOfTheSingle200) {
    for (TW_UINT16 capId : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) {
        Container c;
        ASSERT_EQ(ask(MSG_GET, capId, &c), TWRC_SUCCESS);
        EXPECT_EQ(c.conType, TWON_ENUMERATION);
        const uint8_t expected[] = {TWTY_FIX32, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 0};
        EXPECT_EQ(c.bytes, std::vector<uint8_t>(expected, expected + sizeof expected));
    }
}

TEST_F(Capability, SupportedCapsListsAll18InTheirOrder) {
    Container c;
    ASSERT_EQ(ask(MSG_GET, CAP_SUPPORTEDCAPS, &c), TWRC_SUCCESS);
    EXPECT_EQ(c.conType, TWON_ARRAY);
    ASSERT_EQ(c.bytes.size(), 6u + 36u);
    EXPECT_EQ(itemType(c), TWTY_UINT16);
    std::vector<TW_UINT16> caps(18);
    std::memcpy(caps.data(), c.bytes.data() + 6, 36);
    const std::vector<TW_UINT16> order = {
        CAP_XFERCOUNT,     CAP_SUPPORTEDCAPS,   CAP_UICONTROLLABLE, ICAP_COMPRESSION,
        ICAP_PLANARCHUNKY, ICAP_PHYSICALHEIGHT, ICAP_PHYSICALWIDTH, ICAP_PIXELFLAVOR,
        ICAP_BITDEPTH,     ICAP_BITORDER,       ICAP_PIXELTYPE,     ICAP_UNITS,
        ICAP_XFERMECH,     ICAP_XRESOLUTION,    ICAP_YRESOLUTION,   CAP_ENABLEDSUIONLY,
        CAP_INDICATORS,    ICAP_SUPPORTEDSIZES};
    EXPECT_EQ(caps, order);
    // It has no current or default value and cannot be changed.
    EXPECT_EQ(ask(MSG_GETCURRENT, CAP_SUPPORTEDCAPS), TWRC_FAILURE);
    EXPECT_EQ(ask(MSG_GETDEFAULT, CAP_SUPPORTEDCAPS), TWRC_FAILURE);
    EXPECT_EQ(set(CAP_SUPPORTEDCAPS, TWTY_UINT16, 1), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_BADCAP);
}

TEST_F(Capability, PixelTypeOtherThanPaletteIsRefusedAndTheCurrentStays) {
    EXPECT_EQ(set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_CAPBADOPERATION);
    EXPECT_EQ(current(ICAP_PIXELTYPE), 3u);
    EXPECT_EQ(set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_PALETTE), TWRC_SUCCESS);
    EXPECT_EQ(set(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_USLETTER), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_CAPBADOPERATION);
    EXPECT_EQ(current(ICAP_SUPPORTEDSIZES), 1u);
}

TEST_F(Capability, AContainerOtherThanOneValueSucceedsButReportsBadValue) {
    ASSERT_EQ(set(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE, TWON_ENUMERATION), TWRC_SUCCESS);
    EXPECT_EQ(s.condition(), TWCC_BADVALUE);
    EXPECT_EQ(current(ICAP_XFERMECH), TWSX_NATIVE);  // nothing applied

    // A null container: the same.
    TW_CAPABILITY cap{ICAP_UNITS, TWON_ONEVALUE, nullptr};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    EXPECT_EQ(s.condition(), TWCC_BADVALUE);
    EXPECT_EQ(current(ICAP_UNITS), TWUN_INCHES);
}

TEST_F(Capability, StoredValuesAreReportedAndResetToTheirDefaults) {
    ASSERT_EQ(set(CAP_XFERCOUNT, TWTY_INT16, 0xFFFF), TWRC_SUCCESS);  // -1: any number
    ASSERT_EQ(set(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_SUCCESS);
    ASSERT_EQ(set(ICAP_XRESOLUTION, TWTY_FIX32, 300 | (0x8000u << 16)), TWRC_SUCCESS);
    ASSERT_EQ(set(ICAP_BITDEPTH, TWTY_UINT16, 1), TWRC_SUCCESS);
    EXPECT_EQ(current(CAP_XFERCOUNT), 0xFFFFu);
    EXPECT_EQ(current(ICAP_UNITS), 1u);
    EXPECT_EQ(current(ICAP_XRESOLUTION), 300 | (0x8000u << 16));
    EXPECT_EQ(current(ICAP_BITDEPTH), 1u);
    // The enumeration still lists 200 at index 0.
    Container c;
    ask(MSG_GET, ICAP_XRESOLUTION, &c);
    EXPECT_EQ(c.bytes[14], 200);

    Container reset;
    ASSERT_EQ(ask(MSG_RESET, ICAP_XRESOLUTION, &reset), TWRC_SUCCESS);
    EXPECT_EQ(oneValueItem(reset), 200u);
    EXPECT_EQ(current(ICAP_XRESOLUTION), 200u);
    ASSERT_EQ(ask(MSG_RESET, CAP_XFERCOUNT, &reset), TWRC_SUCCESS);
    EXPECT_EQ(oneValueItem(reset), 1u);
    EXPECT_EQ(current(CAP_XFERCOUNT), 1u);
    EXPECT_EQ(current(ICAP_UNITS), 1u);  // untouched by the other resets
}

TEST_F(Capability, FixedCapabilitiesRefuseSetAndReset) {
    for (TW_UINT16 capId : {ICAP_COMPRESSION, CAP_UICONTROLLABLE, CAP_ENABLEDSUIONLY,
                            ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT, ICAP_PLANARCHUNKY}) {
        EXPECT_EQ(set(capId, TWTY_UINT16, 0), TWRC_FAILURE) << std::hex << capId;
        EXPECT_EQ(s.condition(), TWCC_BADCAP);
        EXPECT_EQ(ask(MSG_RESET, capId), TWRC_FAILURE) << std::hex << capId;
        EXPECT_EQ(s.condition(), TWCC_BADCAP);
    }
    EXPECT_EQ(current(CAP_ENABLEDSUIONLY), 1u);
    // Supported sizes answers a reset with its default.
    Container c;
    ASSERT_EQ(ask(MSG_RESET, ICAP_SUPPORTEDSIZES, &c), TWRC_SUCCESS);
    EXPECT_EQ(oneValueItem(c), 1u);
}

TEST_F(Capability, IndicatorsKeepTheValueSetButCannotBeReset) {
    ASSERT_EQ(set(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    EXPECT_EQ(current(CAP_INDICATORS), 0u);
    Container def;
    ask(MSG_GETDEFAULT, CAP_INDICATORS, &def);
    EXPECT_EQ(oneValueItem(def), 1u);
    EXPECT_EQ(ask(MSG_RESET, CAP_INDICATORS), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_BADCAP);
    EXPECT_EQ(current(CAP_INDICATORS), 0u);
    // Any non-zero BOOL is TRUE.
    ASSERT_EQ(set(CAP_INDICATORS, TWTY_BOOL, 7), TWRC_SUCCESS);
    EXPECT_EQ(current(CAP_INDICATORS), 1u);
}

TEST_F(Capability, UnknownCapabilitiesAreBadCaps) {
    EXPECT_EQ(ask(MSG_GET, CAP_DUPLEX), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_BADCAP);
    EXPECT_EQ(set(CAP_DUPLEX, TWTY_BOOL, 1), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_BADCAP);
    // Messages outside the table, such as MSG_QUERYSUPPORT, fail without a new code.
    TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_DONTCARE16, nullptr};
    EXPECT_EQ(s.call(DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, &cap), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_BADCAP);
}

TEST_F(Capability, NoMemoryForAContainerIsLowMemory) {
    manager.failAllocations = true;
    EXPECT_EQ(ask(MSG_GET, CAP_SUPPORTEDCAPS), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_LOWMEMORY);
    EXPECT_EQ(ask(MSG_GETCURRENT, CAP_XFERCOUNT), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_LOWMEMORY);
}

}  // namespace
