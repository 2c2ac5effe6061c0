// SPDX-License-Identifier: MIT
namespace QuivaneConsumer
{
    public static class Advertiser
    {
        public static bool Advertise(string? name, string regtype, string domain, int port) =>
            Quivane.QuivaneDll.RegisterService(name, regtype, domain, port);
    }
}
