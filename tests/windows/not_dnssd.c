/* SPDX-License-Identifier: MIT */
/* A dnssd.dll that is not a DNS-SD client library: it lacks DNSServiceRegister. */
__declspec(dllexport) int NotDnsSd(void)
{
    return 0;
}
