// The lead bytes of the double-byte code pages, as the system knows them,
// for the tables that run the helpers under such a code page.
#ifndef MELVOX_LEAD_BYTES_H
#define MELVOX_LEAD_BYTES_H

#include "app/text.h"

// Shift-JIS (932): 0x81 to 0x9F and 0xE0 to 0xFC.
inline bool LeadByte932(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// GBK (936) and Big5 (950): 0x81 to 0xFE.
inline bool LeadByte936(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

// The rule in force for one scope; single bytes again after it.
struct CodePageRule {
    explicit CodePageRule(LeadByteRule rule) { SetLeadByteRule(rule); }
    ~CodePageRule() { SetLeadByteRule(nullptr); }
};

#endif
