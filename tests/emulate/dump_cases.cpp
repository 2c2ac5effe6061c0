// SPDX-License-Identifier: MIT
// Prints the shared case table as JSON (strings as hex), for the emulator check, which runs
// modules that nothing on this machine can load.
#include "../cases/register_cases.h"

#include <cstdio>
#include <cstring>

namespace {

void Hex(const char *text)
{
    std::printf("\"");
    for (const char *p = text; *p != '\0'; ++p) {
        std::printf("%02x", static_cast<unsigned char>(*p));
    }
    std::printf("\"");
}

} // namespace

int main()
{
    using namespace quivane_cases;
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
    std::printf("]}\n");
    return 0;
}
