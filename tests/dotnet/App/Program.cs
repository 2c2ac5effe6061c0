// SPDX-License-Identifier: MIT
// A host that advertises one service and stays up for SECONDS.
// usage: App NAME TYPE DOMAIN PORT [SECONDS]   (NAME "-" for a null name)
// Exit codes: 2 usage, 3 an exception from the package, 5 registration refused.
using System;
using System.Globalization;
using System.Threading;

namespace QuivaneConsumer
{
    public static class Program
    {
        public static int Main(string[] args)
        {
            if (args.Length < 4 || args.Length > 5)
            {
                Console.Error.WriteLine("usage: App NAME TYPE DOMAIN PORT [SECONDS]");
                return 2;
            }
            bool accepted;
            try
            {
                accepted = Advertiser.Advertise(args[0] == "-" ? null : args[0], args[1], args[2],
                                                int.Parse(args[3], CultureInfo.InvariantCulture));
            }
            catch (Exception e) when (e is ArgumentException || e is PlatformNotSupportedException)
            {
                Console.WriteLine(e.GetType().Name + ": " + e.Message);
                return 3;
            }
            Console.WriteLine("RegisterService = " + accepted);
            Console.Out.Flush();
            if (!accepted)
            {
                return 5;
            }
            if (args.Length == 5)
            {
                Thread.Sleep(TimeSpan.FromSeconds(double.Parse(args[4], CultureInfo.InvariantCulture)));
            }
            return 0;
        }
    }
}
