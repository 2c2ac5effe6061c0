/* SPDX-License-Identifier: MIT */
/* A C host built against the installed package: the header must compile as C and the
 * module must link by -lQuivaneDll. Prints the result and the domain buffer afterwards. */
#include <QuivaneDll.h>

#include <stdio.h>

int main(void)
{
    char domain[] = ".";
    bool accepted = RegisterService("Consumer", "_quivane-test._tcp", domain, 4711);
    printf("accepted=%d domain='%s'\n", accepted ? 1 : 0, domain);
    return accepted ? 0 : 3;
}
