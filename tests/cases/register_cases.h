// Cases for RegisterService against the recording stand-in, shared by the Linux and the
// Windows test hosts so that both platforms are held to one table.
#ifndef QUIVANE_REGISTER_CASES_H
#define QUIVANE_REGISTER_CASES_H

#include <cstdint>

namespace quivane_cases {

// The port arrives as two bytes, high byte first, made from the low 16 bits only.
struct PortCase {
    const char *label;
    int32_t port;
    unsigned char first;
    unsigned char second;
};

constexpr PortCase kPortCases[] = {
    {"http", 80, 0x00, 0x50},
    {"asymmetric", 258, 0x01, 0x02},
    {"zero", 0, 0x00, 0x00},
    {"minus one", -1, 0xFF, 0xFF},
    {"above 16 bits", 65536 + 258, 0x01, 0x02},
    {"highest", 65535, 0xFF, 0xFF},
    {"sign bit", INT32_MIN + 4711, 0x12, 0x67},
};

// Only a domain of exactly "." becomes "", in the caller's buffer; nothing else is touched.
struct DomainCase {
    const char *label;
    const char *given;
    const char *passed; // what the client library sees, and the buffer holds afterwards
};

constexpr DomainCase kDomainCases[] = {
    {"dot", ".", ""},
    {"empty", "", ""},
    {"two dots", "..", ".."},
    {"leading dot", ".x", ".x"},
    {"trailing dot", "x.", "x."},
    {"local", "local.", "local."},
    {"dot then space", ". ", ". "},
};

// Only 0 (kDNSServiceErr_NoError) means accepted.
struct ResultCase {
    int32_t code;
    bool accepted;
};

constexpr ResultCase kResultCases[] = {
    {0, true},          {1, false},         {-65537, false}, // kDNSServiceErr_Unknown
    {-65540, false},                                         // kDNSServiceErr_BadParam
    {-65563, false},                                         // kDNSServiceErr_ServiceNotRunning
    {INT32_MIN, false}, {INT32_MAX, false},
};

} // namespace quivane_cases

#endif
