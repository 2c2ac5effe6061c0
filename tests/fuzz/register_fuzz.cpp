// SPDX-License-Identifier: MIT
// Random arguments through the built module against the recording stand-in: the module must
// never crash, malformed UTF-8 must never reach the client library, and well-formed text must
// always reach it unchanged. Whether a string is well-formed is decided here by decoding it to
// code points, independently of the module's byte-range check.
//
// usage: register_fuzz [RUNS] [SEED]
#include "../stub/dnssd_stub.h"
#include "../unit/load_module.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using quivane_load::RegisterFn;

bool ReferenceWellFormed(const std::string &text)
{
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int tails = 0;
        uint32_t point = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if ((lead & 0xE0U) == 0xC0U) {
            tails = 1;
            point = lead & 0x1FU;
        } else if ((lead & 0xF0U) == 0xE0U) {
            tails = 2;
            point = lead & 0x0FU;
        } else if ((lead & 0xF8U) == 0xF0U) {
            tails = 3;
            point = lead & 0x07U;
        } else {
            return false;
        }
        for (int k = 1; k <= tails; ++k) {
            if (i + static_cast<size_t>(k) >= text.size()) {
                return false;
            }
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0U) != 0x80U) {
                return false;
            }
            point = (point << 6U) | (next & 0x3FU);
        }
        if (point < kSmallest[tails] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += static_cast<size_t>(tails) + 1;
    }
    return true;
}

class Generator {
  public:
    explicit Generator(uint32_t seed) : random(seed) {}

    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random); }

    // Text without NUL bytes. Clean text is ASCII and encoded valid code points only. Other
    // text also has encodings of any point (surrogates and points past U+10FFFF included),
    // cut-off sequences, lone bytes from the whole range and encodings with one byte replaced.
    std::string Text(bool clean)
    {
        std::string text;
        const uint32_t pieces = Below(24);
        for (uint32_t p = 0; p < pieces && text.size() < 200; ++p) {
            if (clean) {
                uint32_t point = Point();
                if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
                    point = 0x20AC;
                }
                text += Encode(point);
                continue;
            }
            switch (Below(5)) {
            case 0:
                text += static_cast<char>(1 + Below(0x7F));
                break;
            case 1:
                text += static_cast<char>(0x80 + Below(0x80));
                break;
            case 2:
            case 3: {
                const std::string encoded = Encode(Point());
                const auto cut = 1 + Below(static_cast<uint32_t>(encoded.size()));
                text += Below(4) == 0 ? encoded.substr(0, cut) : encoded;
                break;
            }
            default: {
                // An encoding with one byte replaced: overlong and range edges come up here.
                std::string encoded = Encode(Point());
                encoded[Below(static_cast<uint32_t>(encoded.size()))] =
                    static_cast<char>(1 + Below(0xFF));
                text += encoded;
                break;
            }
            }
        }
        return text;
    }

    int32_t Port() { return static_cast<int32_t>(random()); }

  private:
    uint32_t Point()
    {
        static const uint32_t kTops[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF, 0x1FFFFF};
        const uint32_t top = kTops[Below(5)];
        return std::max<uint32_t>(1, Below(top + 1));
    }

    // The bit pattern of a code point in 1 to 4 bytes, whether or not it is a valid one.
    static std::string Encode(uint32_t point)
    {
        std::string out;
        if (point < 0x80) {
            out += static_cast<char>(point);
        } else if (point < 0x800) {
            out += static_cast<char>(0xC0 | (point >> 6));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            out += static_cast<char>(0xE0 | (point >> 12));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | ((point >> 18) & 0x07));
            out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        }
        return out;
    }

    std::mt19937 random;
};

struct Argument {
    bool null = false;
    std::string text;
};

std::string Hex(const Argument &a)
{
    if (a.null) {
        return "(null)";
    }
    std::string out;
    char byte[4];
    for (const char c : a.text) {
        std::snprintf(byte, sizeof byte, "%02x ", static_cast<unsigned char>(c));
        out += byte;
    }
    return "[" + out + "]";
}

bool SameText(const Argument &given, int isNull, const char *seen)
{
    return given.null ? isNull != 0 : isNull == 0 && given.text == seen;
}

} // namespace

int main(int argc, char **argv)
{
    const long runs = argc > 1 ? std::atol(argv[1]) : 100000;
    const auto seed = static_cast<uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 4711);
    const RegisterFn registerService = quivane_load::LoadModule();

    Generator gen(seed);
    long done = 0;
    long wellFormed = 0;
    long failures = 0;
    StubReset();
    for (long run = 0; run < runs && failures < 10; ++run, ++done) {
        Argument args[3];
        for (Argument &a : args) {
            a.null = gen.Below(20) == 0;
            a.text = a.null ? "" : gen.Text(gen.Below(4) != 0);
        }
        if (!args[2].null && gen.Below(8) == 0) {
            args[2].text = ".";
        }
        const bool dot = !args[2].null && args[2].text == "."; // also when generated
        const int32_t port = gen.Port();
        std::string buffer = args[2].text;
        const bool expectCall = (args[0].null || ReferenceWellFormed(args[0].text)) &&
                                (args[1].null || ReferenceWellFormed(args[1].text)) &&
                                (args[2].null || ReferenceWellFormed(args[2].text));
        if (StubCallCount() > 60) {
            StubReset();
        }
        const unsigned before = StubCallCount();
        const bool accepted = registerService(args[0].null ? nullptr : args[0].text.c_str(),
                                              args[1].null ? nullptr : args[1].text.c_str(),
                                              args[2].null ? nullptr : &buffer[0], port);
        const unsigned calls = StubCallCount() - before;
        const StubCall *call = calls == 1 ? StubGetCall(before) : nullptr;
        const std::string passedDomain = dot ? "" : args[2].text;

        bool ok = accepted == expectCall && calls == (expectCall ? 1U : 0U);
        ok = ok && (args[2].null || std::strcmp(buffer.c_str(), passedDomain.c_str()) == 0);
        if (ok && call != nullptr) {
            ok = SameText(args[0], call->nameIsNull, call->name) &&
                 SameText(args[1], call->regtypeIsNull, call->regtype) &&
                 (args[2].null ? call->domainPtr == nullptr
                               : call->domainPtr != nullptr && passedDomain == call->domain) &&
                 call->portBytes[0] == ((static_cast<uint32_t>(port) >> 8) & 0xFFU) &&
                 call->portBytes[1] == (static_cast<uint32_t>(port) & 0xFFU);
        }
        wellFormed += expectCall ? 1 : 0;
        if (!ok) {
            ++failures;
            std::printf("FAIL run %ld: name %s type %s domain %s port %d: accepted %d, %u call(s), "
                        "want %s\n",
                        run, Hex(args[0]).c_str(), Hex(args[1]).c_str(), Hex(args[2]).c_str(),
                        static_cast<int>(port), accepted ? 1 : 0, calls,
                        expectCall ? "one call, unchanged" : "false and no call");
        }
    }
    std::printf("%ld runs (seed %u): %ld well-formed, %ld malformed; %ld failed\n", done, seed,
                wellFormed, done - wellFormed, failures);
    if (failures == 0 && (wellFormed < done / 10 || done - wellFormed < done / 10)) {
        std::printf("FAIL: the generator no longer produces both kinds of input often enough\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
