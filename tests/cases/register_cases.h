/* SPDX-License-Identifier: MIT */
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

// Text the client library may see: well-formed UTF-8 passes on byte for byte; anything else is
// refused before the call, in the name, the type and the domain alike.
struct Utf8Case {
    const char *label;
    const char *text;
    bool wellFormed;
};

// The longest instance name DNS-SD allows, in ASCII.
constexpr const char kSixtyThreeAscii[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";

constexpr Utf8Case kUtf8Cases[] = {
    {"63 ASCII bytes", kSixtyThreeAscii, true},
    {"1-byte", "A~\x7F", true},
    {"2-byte", "\xC2\x80 \xC3\xA9 \xDF\xBF", true},
    {"3-byte", "\xE0\xA0\x80 \xE2\x82\xAC \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBF", true},
    {"4-byte", "\xF0\x90\x80\x80 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", true},
    {"Kueche and a cup",
     "K\xC3\xBC"
     "che \xE2\x98\x95",
     true},
    {"63 bytes of 3-byte characters",
     "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
     "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
     "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",
     true},
    {"stray continuation", "ab\x80", false},
    {"continuation first", "\xBF", false},
    {"truncated 2-byte", "x\xC3", false},
    {"truncated 3-byte", "\xE2\x82", false},
    {"truncated 4-byte", "\xF0\x9F\x98 ok", false},
    {"lead byte then ASCII", "\xE2(x", false},
    {"overlong NUL", "\xC0\x80", false},
    {"overlong C1", "\xC1\xBF", false},
    {"overlong 3-byte", "\xE0\x80\x80", false},
    {"overlong 4-byte", "\xF0\x8F\xBF\xBF", false},
    {"surrogate", "\xED\xA0\x80", false},
    {"last surrogate", "\xED\xBF\xBF", false},
    {"above U+10FFFF", "\xF4\x90\x80\x80", false},
    {"F5", "\xF5\x80\x80\x80", false},
    {"FF FE", "\xFF\xFE", false},
};

// One UTF-8 case placed in one of the three strings, with ordinary text in the other two.
struct Utf8Call {
    const char *slot;
    const char *name;
    const char *regtype;
    const char *domain;
};

constexpr int kUtf8Slots = 3;

constexpr Utf8Call PlaceUtf8Case(const Utf8Case &c, int slot)
{
    return {slot == 0   ? "name"
            : slot == 1 ? "regtype"
                        : "domain",
            slot == 0 ? c.text : "svc", slot == 1 ? c.text : "_test._tcp",
            slot == 2 ? c.text : "local."};
}

} // namespace quivane_cases

#endif
