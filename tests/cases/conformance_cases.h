/* SPDX-License-Identifier: MIT */
// The same registrations through every way of reaching a responder that runs here, with the
// answer each gives: Avahi's compatibility library and Avahi's client library in the live
// tests, and the dnsapi.dll way against its recording stand-in under Wine. The README's
// refusal table is printed from this table (dump_cases readme).
#ifndef QUIVANE_CONFORMANCE_CASES_H
#define QUIVANE_CONFORMANCE_CASES_H

namespace quivane_cases {

// A 63-byte label, and a type that makes <63-byte name>.<type>.local 253 bytes long; one more
// character makes it 254.
#define QUIVANE_63 "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"
#define QUIVANE_LONG_TYPE(last)                                                                    \
    "_aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa."                             \
    "_bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb."                             \
    "_ccccccccccccccccccccccccccccccccccccccccccccccccc" last "._tcp"

struct ConformanceCase {
    const char *label;
    const char *name; // nullptr for a NULL pointer
    const char *regtype;
    const char *domain;
    bool compat;      // Avahi's compatibility library, libdns_sd.so.1
    bool client;      // Avahi's client library, libavahi-client.so.3
    bool dnsapi;      // Windows' own DNS-SD in dnsapi.dll
    const char *note; // why the ways differ, for the README
    int port = 4700;  // one host files the cases in order, so a case can meet an earlier one
};

constexpr ConformanceCase kConformanceCases[] = {
    {"a service type", "Conf Type", "_qvconf._tcp", "", true, true, true, ""},
    {"type with a trailing dot", "Conf Dot", "_qvconf._tcp.", "", true, true, true,
     "dropped before the name is built"},
    {"type with two trailing dots", "Conf Dots", "_qvconf._tcp..", "", false, false, false, ""},
    {"protocol in capitals", "Conf Caps", "_qvconf._TCP", "", true, true, true, ""},
    {"UDP", "Conf Udp", "_qvconf._udp", "", true, true, true, ""},
    {"one-character service", "Conf One", "_q._tcp", "", false, false, true,
     "Avahi wants a type label of three or more characters"},
    {"15-character service", "Conf Fifteen", "_qvconfabcdefgh1._tcp", "", true, true, true, ""},
    {"16-character service", "Conf Sixteen", "_qvconfabcdefgh12._tcp", "", true, true, false,
     "RFC 6335: at most 15 characters"},
    {"hyphen inside", "Conf Hyphen", "_qv-conf._tcp", "", true, true, true, ""},
    {"hyphen first", "Conf Hyphen First", "_-qvconf._tcp", "", true, true, false,
     "RFC 6335: no hyphen first or last"},
    {"hyphen last", "Conf Hyphen Last", "_qvconf-._tcp", "", true, true, false,
     "RFC 6335: no hyphen first or last"},
    {"two hyphens in a row", "Conf Hyphens", "_qv--conf._tcp", "", true, true, false,
     "RFC 6335: no two hyphens in a row"},
    {"digits only", "Conf Digits", "_4711._tcp", "", true, true, false,
     "RFC 6335: at least one letter"},
    {"a space", "Conf Space", "_qv conf._tcp", "", true, true, false,
     "RFC 6335: letters, digits and hyphens"},
    {"no labels", "Conf Bare", "qvconf", "", false, false, false, ""},
    {"no protocol", "Conf No Protocol", "_qvconf", "", false, false, false, ""},
    {"no underscore", "Conf No Underscore", "qvconf._tcp", "", false, false, false, ""},
    {"protocol _sctp", "Conf Sctp", "_qvconf._sctp", "", false, false, false, ""},
    {"subtype", "Conf Subtype", "_qvconf._tcp,_qvsub", "", true, true, false,
     "dnsapi.dll: subtypes have no place in the instance name"},
    {"two subtypes", "Conf Subtypes", "_qvconf._tcp,_qvsuba,_qvsubb", "", true, true, false, ""},
    {"a list ending in a comma", "Conf Comma", "_qvconf._tcp,", "", true, true, false, ""},
    {"three-byte subtype", "Conf Sub Three", "_qvconf._tcp,_qv", "", true, true, false, ""},
    {"two-byte subtype", "Conf Sub Two", "_qvconf._tcp,_q", "", false, false, false,
     "Avahi wants a subtype label of three or more bytes"},
    {"subtype without underscore", "Conf Sub Bare", "_qvconf._tcp,qvsub", "", false, false, false,
     ""},
    {"an empty subtype", "Conf Sub Empty", "_qvconf._tcp,,_qvsub", "", false, false, false, ""},
    {"a list starting with a comma", "Conf Sub First", ",_qvconf._tcp", "", false, false, false,
     ""},
    {"a subtype spelt in full", "Conf Sub Full", "_qvconf._tcp,_qvsub._sub._qvconf._tcp", "",
     false, false, false, "each entry is one label, put before ._sub.<type>"},
    {"empty type", "Conf Empty Type", "", "", false, false, false, ""},
    {"NULL type", "Conf Null Type", nullptr, "", false, false, false, ""},
    {"domain local.", "Conf Local Dot", "_qvconf._tcp", "local.", true, true, true, ""},
    {"domain local", "Conf Local", "_qvconf._tcp", "local", true, true, true, ""},
    {"domain LOCAL.", "Conf Local Caps", "_qvconf._tcp", "LOCAL.", true, true, true, ""},
    {"domain ..", "Conf Two Dots", "_qvconf._tcp", "..", true, false, false,
     "the compatibility library cannot normalise it and files the default domain instead; the "
     "module reaches Avahi through its client library, which refuses it"},
    {"domain local..", "Conf Local Dots", "_qvconf._tcp", "local..", true, false, false,
     "as for .."},
    {"domain example.com. (wide-area off)", "Conf Elsewhere", "_qvconf._tcp", "example.com.", true,
     true, false, "only multicast DNS in local."},
    {"the same registration again", "Conf Type", "_qvconf._tcp", "", true, true, true,
     "Avahi: identical records are no conflict"},
    {"a name this host holds, with port 4701", "Conf Type", "_qvconf._tcp", "", false, false, true,
     "Avahi refuses it; neither Avahi way renames (the DNS-SD service renames)", 4701},
    {"NULL name", nullptr, "_qvconfnull._tcp", "", true, true, true, ""},
    {"empty name", "", "_qvconfempty._tcp", "", false, false, true,
     "the computer's name, as the DNS-SD service does"},
    {"63-byte name", QUIVANE_63, "_qvconf._tcp", "", true, true, true, ""},
    {"64-byte name", QUIVANE_63 "n", "_qvconf._tcp", "", false, false, false, ""},
    {"a dot in the name", "Conf.Dot", "_qvconf._tcp", "", true, true, false,
     "read as a label separator"},
    {"a backslash in the name", "Conf\\Slash", "_qvconf._tcp", "", true, true, false,
     "read as an escape"},
    {"253-byte full name", QUIVANE_63, QUIVANE_LONG_TYPE(""), "", false, false, false,
     "a type has two labels"},
    {"254-byte full name", QUIVANE_63, QUIVANE_LONG_TYPE("c"), "", false, false, false,
     "a type has two labels"},
};

#undef QUIVANE_63
#undef QUIVANE_LONG_TYPE

} // namespace quivane_cases

#endif
