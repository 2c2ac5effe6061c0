// SPDX-License-Identifier: MIT
// A C# host: P/Invoke into the module by name and advertise one service.
// usage: mono QuivaneAdvertise.exe NAME TYPE DOMAIN PORT [SECONDS]
using System;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

static class QuivaneAdvertise
{
    // "QuivaneDll" is found as QuivaneDll.dll on Windows and libQuivaneDll.so on Linux.
    // The result is a one-byte bool (U1); strings go out as UTF-8 bytes, and the domain is
    // a writable byte array because "." is rewritten to "" in place.
    [DllImport("QuivaneDll", CallingConvention = CallingConvention.Cdecl)]
    [return: MarshalAs(UnmanagedType.U1)]
    static extern bool RegisterService(byte[] name, byte[] regtype, byte[] domain, int port);

    static byte[] Utf8(string text)
    {
        var bytes = Encoding.UTF8.GetBytes(text);
        Array.Resize(ref bytes, bytes.Length + 1); // NUL terminator
        return bytes;
    }

    static int Main(string[] args)
    {
        if (args.Length < 4 || args.Length > 5)
        {
            Console.Error.WriteLine("usage: QuivaneAdvertise NAME TYPE DOMAIN PORT [SECONDS]");
            return 2;
        }

        byte[] domain = Utf8(args[2]);
        bool accepted = RegisterService(Utf8(args[0]), Utf8(args[1]), domain, int.Parse(args[3]));
        string after = Encoding.UTF8.GetString(domain, 0, Array.IndexOf(domain, (byte)0));
        Console.WriteLine("RegisterService = {0}; domain buffer after the call: '{1}'",
                          accepted ? "True" : "False", after);
        if (!accepted)
            return 5;
        if (args.Length == 5)
            Thread.Sleep(TimeSpan.FromSeconds(double.Parse(args[4])));
        return 0;
    }
}
