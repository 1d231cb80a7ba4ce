// Readable names of TWAIN result and condition codes, for q47scan's messages.
#include "tools/q47scan/twain_names.h"

namespace q47::scan {

static std::string named(const char* name, TW_UINT16 value) {
    return std::string(name) + " (" + std::to_string(value) + ")";
}

std::string resultName(TW_UINT16 rc) {
    static const char* const names[] = {"TWRC_SUCCESS",     "TWRC_FAILURE",  "TWRC_CHECKSTATUS",
                                        "TWRC_CANCEL",      "TWRC_DSEVENT",  "TWRC_NOTDSEVENT",
                                        "TWRC_XFERDONE",    "TWRC_ENDOFLIST", "TWRC_INFONOTSUPPORTED",
                                        "TWRC_DATANOTAVAILABLE", "TWRC_BUSY", "TWRC_SCANNERLOCKED"};
    if (rc < sizeof names / sizeof names[0]) return named(names[rc], rc);
    return named("result", rc);
}

std::string conditionName(TW_UINT16 cc) {
    static const char* const names[] = {
        "TWCC_SUCCESS",        "TWCC_BUMMER",        "TWCC_LOWMEMORY",     "TWCC_NODS",
        "TWCC_MAXCONNECTIONS", "TWCC_OPERATIONERROR", "TWCC_BADCAP",       nullptr,
        nullptr,               "TWCC_BADPROTOCOL",   "TWCC_BADVALUE",      "TWCC_SEQERROR",
        "TWCC_BADDEST",        "TWCC_CAPUNSUPPORTED", "TWCC_CAPBADOPERATION", "TWCC_CAPSEQERROR",
        "TWCC_DENIED",         "TWCC_FILEEXISTS",    "TWCC_FILENOTFOUND",  "TWCC_NOTEMPTY",
        "TWCC_PAPERJAM",       "TWCC_PAPERDOUBLEFEED", "TWCC_FILEWRITEERROR", "TWCC_CHECKDEVICEONLINE",
        "TWCC_INTERLOCK",      "TWCC_DAMAGEDCORNER", "TWCC_FOCUSERROR",    "TWCC_DOCTOOLIGHT",
        "TWCC_DOCTOODARK",     "TWCC_NOMEDIA"};
    if (cc < sizeof names / sizeof names[0] && names[cc]) return named(names[cc], cc);
    return named("condition", cc);
}

}  // namespace q47::scan
