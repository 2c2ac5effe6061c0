// SPDX-License-Identifier: MIT
// The packed package as a .NET host meets it: QuivaneDll.RegisterService through the package's
// native module, with its DNSServiceRegister calls landing in the recording stand-in (found
// first through LD_LIBRARY_PATH).
using System;
using System.Runtime.InteropServices;
using System.Text;
using Quivane;
using Xunit;

[assembly: CollectionBehavior(DisableTestParallelization = true)]

namespace Quivane.Tests
{
    public unsafe class RegisterServiceTests
    {
        private const int TextMax = 256;

        // The stand-in's record of one call (tests/stub/dnssd_stub.h), field for field.
        [StructLayout(LayoutKind.Sequential)]
        private struct StubCall
        {
            public IntPtr SdRef;
            public uint Flags;
            public uint InterfaceIndex;
            public int NameIsNull;
            public fixed byte Name[TextMax];
            public int RegtypeIsNull;
            public fixed byte Regtype[TextMax];
            public IntPtr DomainPtr;
            public fixed byte Domain[TextMax];
            public IntPtr Host;
            public ushort Port;
            public fixed byte PortBytes[2];
            public ushort TxtLen;
        }

        private const string Stub = "libdns_sd.so.1";
        [DllImport(Stub)] private static extern void StubReset();
        [DllImport(Stub)] private static extern void StubSetResult(int code);
        [DllImport(Stub)] private static extern uint StubCallCount();
        [DllImport(Stub)] private static extern StubCall* StubGetCall(uint index);

        private const string Ascii63 = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";

        public RegisterServiceTests() => StubReset();

        private static StubCall OnlyCall()
        {
            Assert.Equal(1U, StubCallCount());
            return *StubGetCall(0);
        }

        private static byte[] Text(byte* field)
        {
            int length = 0;
            while (length < TextMax && field[length] != 0)
            {
                length++;
            }
            return new ReadOnlySpan<byte>(field, length).ToArray();
        }

        [Theory]
        [InlineData("Kitchen Printer")]
        [InlineData("K\u00fcche \u2615")]
        [InlineData(Ascii63)]
        [InlineData("\U0001F600 four bytes")]
        public void SendsTextAsUtf8ByteForByte(string name)
        {
            Assert.True(QuivaneDll.RegisterService(name, "_http._tcp", "local.", 80));
            StubCall call = OnlyCall();
            Assert.Equal(Encoding.UTF8.GetBytes(name), Text(call.Name));
            Assert.Equal(Encoding.UTF8.GetBytes("_http._tcp"), Text(call.Regtype));
            Assert.Equal(Encoding.UTF8.GetBytes("local."), Text(call.Domain));
            Assert.Equal(0U, call.Flags);
            Assert.Equal(0U, call.InterfaceIndex);
            Assert.Equal(IntPtr.Zero, call.Host);
            Assert.Equal(0, call.TxtLen);
        }

        [Fact]
        public void PassesNullNameAndTypeAsNull()
        {
            Assert.True(QuivaneDll.RegisterService(null, null, ".", 80));
            StubCall call = OnlyCall();
            Assert.Equal(1, call.NameIsNull);
            Assert.Equal(1, call.RegtypeIsNull);
        }

        [Theory]
        [InlineData(".", "", true)]
        [InlineData(null, null, false)]
        [InlineData("", "", true)]
        [InlineData("example.com.", "example.com.", true)]
        public void TakesADotOrNullDomainAsTheDefault(string? given, string? passed, bool pointer)
        {
            Assert.True(QuivaneDll.RegisterService("svc", "_test._tcp", given, 80));
            StubCall call = OnlyCall();
            Assert.Equal(pointer, call.DomainPtr != IntPtr.Zero);
            if (passed != null)
            {
                Assert.Equal(Encoding.UTF8.GetBytes(passed), Text(call.Domain));
            }
        }

        [Theory]
        [InlineData(0, 0x00, 0x00)]
        [InlineData(80, 0x00, 0x50)]
        [InlineData(258, 0x01, 0x02)]
        [InlineData(65535, 0xFF, 0xFF)]
        public void SendsThePortInNetworkOrder(int port, byte first, byte second)
        {
            Assert.True(QuivaneDll.RegisterService("svc", "_test._tcp", ".", port));
            StubCall call = OnlyCall();
            Assert.Equal(first, call.PortBytes[0]);
            Assert.Equal(second, call.PortBytes[1]);
        }

        [Theory]
        [InlineData(0, true)]
        [InlineData(-65537, false)]
        [InlineData(-65563, false)]
        [InlineData(1, false)]
        public void ReturnsTheNativeResult(int code, bool accepted)
        {
            StubSetResult(code);
            Assert.Equal(accepted, QuivaneDll.RegisterService("svc", "_test._tcp", ".", 80));
            Assert.Equal(1U, StubCallCount());
        }

        // Made when the test runs: attribute arguments and the data xunit serialises at
        // discovery go through UTF-8, where a lone surrogate would already be U+FFFD.
        public static TheoryData<string, string, string, string> Unencodable => new()
        {
            { "a\0b", "_test._tcp", ".", "name" },
            { "K\u00fc\0che", "_test._tcp", ".", "name" },
            { "\uD83D", "_test._tcp", ".", "name" },
            { "svc", "_te\uDE00st._tcp", ".", "regtype" },
            { "svc", "_test._tcp", "local.\0", "domain" },
            { "svc", "_test._tcp", "x\uDBFF", "domain" },
        };

        [Theory]
        [MemberData(nameof(Unencodable), DisableDiscoveryEnumeration = true)]
        public void RefusesTextThatUtf8CannotCarryBeforeAnyNativeCall(string name, string regtype, string domain, string parameter)
        {
            var e = Assert.Throws<ArgumentException>(() => QuivaneDll.RegisterService(name, regtype, domain, 80));
            Assert.Equal(parameter, e.ParamName);
            Assert.Equal(0U, StubCallCount());
        }

        [Theory]
        [InlineData(-1)]
        [InlineData(65536)]
        [InlineData(int.MinValue)]
        public void RefusesAPortOutsideSixteenBits(int port)
        {
            var e = Assert.Throws<ArgumentOutOfRangeException>(() => QuivaneDll.RegisterService("svc", "_test._tcp", ".", port));
            Assert.Equal("port", e.ParamName);
            Assert.Equal(0U, StubCallCount());
        }

        [Fact]
        public void EncodesNamesTooLongForTheStackBuffer()
        {
            string name = new string('\u20AC', 300); // 900 bytes: past the stack buffer
            Assert.True(QuivaneDll.RegisterService(name, "_test._tcp", ".", 80));
            // The stand-in keeps the first 255 bytes: 85 whole euro signs.
            StubCall call = OnlyCall();
            Assert.Equal(Encoding.UTF8.GetBytes(name.Substring(0, 85)), Text(call.Name));
        }
    }
}
