// SPDX-License-Identifier: MIT
// QuivaneDll.RegisterService against the native RegisterService called through a function
// pointer with ready UTF-8 bytes, both landing in the recording stand-in, interleaved in one
// run; and the bytes the managed call allocates. Prints one JSON object.
using System;
using System.Diagnostics;
using System.Linq;
using System.Runtime.InteropServices;
using Quivane;

internal static unsafe class Program
{
    private const string Name = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";
    private const int Calls = 200_000;
    private const int Rounds = 15;

    private static readonly byte[] NameBytes = System.Text.Encoding.UTF8.GetBytes(Name + "\0");
    private static readonly byte[] TypeBytes = System.Text.Encoding.UTF8.GetBytes("_http._tcp\0");
    private static delegate* unmanaged[Cdecl]<byte*, byte*, byte*, int, byte> native;

    private static void Managed(int calls)
    {
        for (int i = 0; i < calls; i++)
        {
            QuivaneDll.RegisterService(Name, "_http._tcp", ".", 4711);
        }
    }

    private static void Native(int calls)
    {
        byte* domain = stackalloc byte[2];
        fixed (byte* name = NameBytes, type = TypeBytes)
        {
            for (int i = 0; i < calls; i++)
            {
                domain[0] = (byte)'.'; // rewritten to "" by every call
                domain[1] = 0;
                native(name, type, domain, 4711);
            }
        }
    }

    private static double NsPerCall(Action<int> body)
    {
        var watch = Stopwatch.StartNew();
        body(Calls);
        return watch.Elapsed.TotalMilliseconds * 1e6 / Calls;
    }

    private static int Main()
    {
        // The same module the package's import binds to.
        IntPtr module = NativeLibrary.Load("QuivaneDll", typeof(QuivaneDll).Assembly, null);
        native = (delegate* unmanaged[Cdecl]<byte*, byte*, byte*, int, byte>)NativeLibrary.GetExport(module, "RegisterService");
        for (int i = 0; i < 3; i++) // past tiering
        {
            Managed(Calls);
            Native(Calls);
        }
        var managed = new double[Rounds];
        var direct = new double[Rounds];
        for (int r = 0; r < Rounds; r++)
        {
            bool managedFirst = r % 2 == 0;
            if (managedFirst) managed[r] = NsPerCall(Managed);
            direct[r] = NsPerCall(Native);
            if (!managedFirst) managed[r] = NsPerCall(Managed);
        }
        long before = GC.GetAllocatedBytesForCurrentThread();
        Managed(Calls);
        long allocated = GC.GetAllocatedBytesForCurrentThread() - before;
        // The added cost is the median of each round's difference, so a slow stretch of the
        // machine shifts both sides of a pair rather than the result.
        double added = Median(managed.Zip(direct, (m, d) => m - d).ToArray());
        Console.WriteLine("{{\"managed_ns\": {0:F1}, \"native_ns\": {1:F1}, \"added_ns\": {2:F1}, \"rounds\": {3}, \"bytes_per_call\": {4}}}",
            Median(managed), Median(direct), added, Rounds, (double)allocated / Calls);
        return 0;
    }

    private static double Median(double[] values)
    {
        var sorted = values.OrderBy(v => v).ToArray();
        return sorted[sorted.Length / 2];
    }
}
