// SPDX-License-Identifier: MIT
// A .NET host of the side-by-side benchmark, built twice: against the QuivaneDll package and
// against Makaretu.Dns.Multicast. It prints {"ready"} before the peer's assembly is loaded,
// advertises as the package's documentation shows when a line arrives on stdin, prints when
// the call returned (CLOCK_MONOTONIC seconds, which Stopwatch reads on Linux), and withdraws
// the service the package's way when stdin closes. usage: Host NAME TYPE PORT
using System;
using System.Diagnostics;
using System.Globalization;
using System.Runtime.CompilerServices;

internal static class Host
{
    private static double Now() => (double)Stopwatch.GetTimestamp() / Stopwatch.Frequency;

    private static void Say(string json)
    {
        Console.Out.WriteLine(json);
        Console.Out.Flush();
    }

    public static int Main(string[] args)
    {
        string name = args[0], type = args[1];
        int port = int.Parse(args[2], CultureInfo.InvariantCulture);
        Say("{\"ready\": true}");
        if (Console.In.ReadLine() == null)
        {
            return 0;
        }
        double started = Now();
        Action stop;
        bool ok;
        try
        {
            ok = Advertise(name, type, port, out stop);
        }
        catch (Exception e)
        {
            Say($"{{\"ok\": false, \"returned_at\": {Now().ToString("R", CultureInfo.InvariantCulture)}, \"error\": \"{e.GetType().Name}\"}}");
            Console.Error.WriteLine(e);
            Console.In.ReadToEnd();
            return 0;
        }
        double returned = Now();
        Say(string.Format(CultureInfo.InvariantCulture, "{{\"ok\": {0}, \"returned_at\": {1:R}, \"call_ms\": {2:R}}}",
            ok ? "true" : "false", returned, (returned - started) * 1000.0));
        Console.In.ReadToEnd(); // until the benchmark closes stdin
        stop();
        return 0;
    }

    // Kept out of Main, so that the peer's assembly loads only when this runs.
    [MethodImpl(MethodImplOptions.NoInlining)]
    private static bool Advertise(string name, string type, int port, out Action stop)
    {
#if MAKARETU
        var profile = new Makaretu.Dns.ServiceProfile(name, type, (ushort)port);
        var sd = new Makaretu.Dns.ServiceDiscovery();
        sd.Advertise(profile);
        stop = () =>
        {
            sd.Unadvertise(profile);
            sd.Dispose();
        };
        return true;
#else
        stop = () => { }; // the registration ends with the process
        return Quivane.QuivaneDll.RegisterService(name, type, null, port);
#endif
    }
}
