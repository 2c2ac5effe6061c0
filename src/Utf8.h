/* SPDX-License-Identifier: MIT */
// Well-formed UTF-8 as RFC 3629 defines it, checked without the heap, the locale or libc.
#ifndef QUIVANEDLL_UTF8_H
#define QUIVANEDLL_UTF8_H

namespace quivane {

// True when the NUL-terminated text is well-formed UTF-8; a null pointer counts as well-formed,
// as it is passed on as null. RFC 3629's grammar, lead byte by lead byte:
//   00-7F                 alone
//   C2-DF                 then 80-BF
//   E0 A0-BF | E1-EC 80-BF | ED 80-9F | EE-EF 80-BF       then 80-BF
//   F0 90-BF | F1-F3 80-BF | F4 80-8F                     then 80-BF 80-BF
// The narrowed second-byte ranges rule out overlong forms (E0 80-9F, F0 80-8F; C0 and C1 are no
// lead bytes), UTF-16 surrogates (ED A0-BF) and code points past U+10FFFF (F4 90-BF, F5-FF).
// Every byte is read only after the one before it proved not to be the terminator, so a
// sequence cut short by the end fails its range check and nothing past the end is read.
// Kept out of line: the three checks of a call then share one copy of the loop, which keeps the
// module's code within one page, for a few instructions a call.
[[gnu::noinline]] inline bool IsWellFormedUtf8(const char *text)
{
    if (text == nullptr) {
        return true;
    }
    // One unsigned compare per byte: byte - first <= last - first.
    const auto in = [](unsigned byte, unsigned first, unsigned last) {
        return byte - first <= last - first;
    };
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    for (;;) {
        const unsigned lead = *p;
        if (in(lead, 0x01, 0x7F)) {
            // ASCII other than NUL; the rest of a run four bytes a step.
            p += 1;
            while (in(p[0], 0x01, 0x7F) && in(p[1], 0x01, 0x7F) && in(p[2], 0x01, 0x7F) &&
                   in(p[3], 0x01, 0x7F)) {
                p += 4;
            }
        } else if (in(lead, 0xE0, 0xEF)) {
            const unsigned first = lead == 0xE0 ? 0xA0 : 0x80;
            const unsigned last = lead == 0xED ? 0x9F : 0xBF;
            if (!in(p[1], first, last) || !in(p[2], 0x80, 0xBF)) {
                return false;
            }
            p += 3;
        } else if (lead == 0) {
            return true;
        } else if (in(lead, 0xC2, 0xDF)) {
            if (!in(p[1], 0x80, 0xBF)) {
                return false;
            }
            p += 2;
        } else if (in(lead, 0xF0, 0xF4)) {
            const unsigned first = lead == 0xF0 ? 0x90 : 0x80;
            const unsigned last = lead == 0xF4 ? 0x8F : 0xBF;
            if (!in(p[1], first, last) || !in(p[2], 0x80, 0xBF) || !in(p[3], 0x80, 0xBF)) {
                return false;
            }
            p += 4;
        } else {
            return false; // a stray continuation byte, C0, C1 or F5-FF
        }
    }
}

} // namespace quivane

#endif
