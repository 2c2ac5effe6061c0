// SPDX-License-Identifier: MIT
// Prints the shared case tables as JSON (strings as hex), for the emulator check, which runs
// modules that nothing on this machine can load, and for the live tests; "readme" prints the
// README's refusal table from the conformance table instead.
#include "../cases/conformance_cases.h"
#include "../cases/register_cases.h"

#include <cstdio>
#include <cstring>

namespace {

void Hex(const char *text)
{
    if (text == nullptr) {
        std::printf("null");
        return;
    }
    std::printf("\"");
    for (const char *p = text; *p != '\0'; ++p) {
        std::printf("%02x", static_cast<unsigned char>(*p));
    }
    std::printf("\"");
}

const char *Answer(bool accepted)
{
    return accepted ? "true" : "**false**";
}

void Shown(const char *text)
{
    if (text == nullptr) {
        std::printf("NULL");
    } else if (std::strlen(text) > 24) {
        std::printf("%zu bytes", std::strlen(text));
    } else {
        std::printf("`\"%s\"`", text);
    }
}

// One row per case where the ways differ or refuse, so a reader sees where and why.
void PrintReadmeTable()
{
    std::printf("| case | name | type | domain | compatibility library | client library | "
                "dnsapi.dll | why |\n|---|---|---|---|---|---|---|---|\n");
    for (const auto &c : quivane_cases::kConformanceCases) {
        std::printf("| %s | ", c.label);
        Shown(c.name);
        std::printf(" | ");
        Shown(c.regtype);
        std::printf(" | ");
        Shown(c.domain);
        std::printf(" | %s | %s | %s | %s |\n", Answer(c.compat), Answer(c.client),
                    Answer(c.dnsapi), c.note);
    }
}

} // namespace

int main(int argc, char **argv)
{
    using namespace quivane_cases;
    if (argc > 1 && std::strcmp(argv[1], "readme") == 0) {
        PrintReadmeTable();
        return 0;
    }
    std::printf("{\"ports\": [");
    const char *comma = "";
    for (const auto &p : kPortCases) {
        std::printf("%s[\"%s\", %ld, %u, %u]", comma, p.label, static_cast<long>(p.port), p.first,
                    p.second);
        comma = ", ";
    }
    std::printf("], \"domains\": [");
    comma = "";
    for (const auto &d : kDomainCases) {
        std::printf("%s[\"%s\", ", comma, d.label);
        Hex(d.given);
        std::printf(", ");
        Hex(d.passed);
        std::printf("]");
        comma = ", ";
    }
    std::printf("], \"results\": [");
    comma = "";
    for (const auto &r : kResultCases) {
        std::printf("%s[%ld, %s]", comma, static_cast<long>(r.code), r.accepted ? "true" : "false");
        comma = ", ";
    }
    std::printf("], \"utf8\": [");
    comma = "";
    for (const auto &c : kUtf8Cases) {
        for (int slot = 0; slot < kUtf8Slots; ++slot) {
            const Utf8Call call = PlaceUtf8Case(c, slot);
            std::printf("%s[\"%s as the %s\", ", comma, c.label, call.slot);
            Hex(call.name);
            std::printf(", ");
            Hex(call.regtype);
            std::printf(", ");
            Hex(call.domain);
            std::printf(", %s]", c.wellFormed ? "true" : "false");
            comma = ", ";
        }
    }
    std::printf("], \"conformance\": [");
    comma = "";
    for (const auto &c : kConformanceCases) {
        std::printf("%s{\"label\": \"%s\", \"name\": ", comma, c.label);
        Hex(c.name);
        std::printf(", \"regtype\": ");
        Hex(c.regtype);
        std::printf(", \"domain\": ");
        Hex(c.domain);
        std::printf(", \"compat\": %s, \"client\": %s, \"dnsapi\": %s, \"port\": %d}",
                    c.compat ? "true" : "false", c.client ? "true" : "false",
                    c.dnsapi ? "true" : "false", c.port);
        comma = ", ";
    }
    std::printf("]}\n");
    return 0;
}
