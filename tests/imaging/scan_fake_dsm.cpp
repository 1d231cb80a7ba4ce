// A stand-in source manager with three installed sources and, unless the test names one
// in $FAKE_DSM_DEFAULT, no default source (as a manager does whose user never chose
// one): what the acquisition library lists is then the manager's word, not ours. It also
// answers a native transfer as a careless source would: memory sized for a 64 x 16 8-bit
// picture, under a header that says $FAKE_DSM_DIB ("width,height,bits").
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "twain/twain.h"

namespace {

const char* const kSources[] = {"Alpha Flatbed", "ZELT Slatewise Q-47 Series", "Gamma Camera"};
unsigned g_next = 0;
TW_UINT16 g_condition = TWCC_SUCCESS;

void identityOf(const char* name, TW_UINT32 id, pTW_IDENTITY out) {
    std::memset(out, 0, sizeof *out);
    out->Id = id;
    out->ProtocolMajor = 2;
    out->SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strncpy(out->ProductName, name, sizeof out->ProductName - 1);
}

TW_UINT16 failWith(TW_UINT16 condition) {
    g_condition = condition;
    return TWRC_FAILURE;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(pTW_IDENTITY, pTW_IDENTITY,
                                                                      TW_UINT32 DG, TW_UINT16 DAT,
                                                                      TW_UINT16 MSG,
                                                                      TW_MEMREF data) {
    if (DG == DG_IMAGE && DAT == DAT_IMAGENATIVEXFER && MSG == MSG_GET && data) {
        constexpr int kWidth = 64, kHeight = 16;
        const size_t bytes = 40 + 256 * 4 + kWidth * kHeight;
        auto* dib = static_cast<uint8_t*>(std::calloc(1, bytes));
        int w = kWidth, h = kHeight, bits = 8;
        if (const char* claim = std::getenv("FAKE_DSM_DIB"))
            std::sscanf(claim, "%d,%d,%d", &w, &h, &bits);
        const int32_t header[3] = {40, w, h};
        std::memcpy(dib, header, sizeof header);
        dib[12] = 1;  // planes
        dib[14] = static_cast<uint8_t>(bits);
        *static_cast<TW_HANDLE*>(data) = dib;
        return TWRC_XFERDONE;
    }
    if (DG != DG_CONTROL) return failWith(TWCC_BADPROTOCOL);
    if (DAT == DAT_PARENT)
        return MSG == MSG_OPENDSM || MSG == MSG_CLOSEDSM ? TWRC_SUCCESS
                                                         : failWith(TWCC_BADPROTOCOL);
    if (DAT == DAT_STATUS) {
        if (data) static_cast<pTW_STATUS>(data)->ConditionCode = g_condition;
        return TWRC_SUCCESS;
    }
    if (DAT != DAT_IDENTITY || !data) return failWith(TWCC_BADPROTOCOL);
    auto* id = static_cast<pTW_IDENTITY>(data);
    switch (MSG) {
        case MSG_GETFIRST:
            g_next = 0;
            [[fallthrough]];
        case MSG_GETNEXT:
            if (g_next >= sizeof kSources / sizeof *kSources) return TWRC_ENDOFLIST;
            identityOf(kSources[g_next], g_next + 1, id);
            ++g_next;
            return TWRC_SUCCESS;
        case MSG_GETDEFAULT: {
            const char* def = std::getenv("FAKE_DSM_DEFAULT");
            if (!def || !*def) return failWith(TWCC_NODS);
            identityOf(def, 99, id);
            return TWRC_SUCCESS;
        }
        default:
            return failWith(TWCC_BADPROTOCOL);
    }
}
