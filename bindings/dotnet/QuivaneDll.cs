// SPDX-License-Identifier: MIT
#nullable enable
using System;
#if NET
using System.Buffers;
using System.Runtime.CompilerServices;
#endif
using System.Runtime.InteropServices;
using System.Text;

namespace Quivane
{
    /// <summary>
    /// Advertises services on the local network with DNS-SD over multicast DNS, through the
    /// machine's DNS-SD responder (avahi-daemon on Linux, the DNS-SD service on Windows).
    /// </summary>
    public static partial class QuivaneDll
    {
        private const string Module = "QuivaneDll";

        // Runtimes for which the package carries a native module.
        private static readonly string[] Carried =
        {
            "win-x64", "win-x86", "win-arm64", "linux-x64", "linux-arm64", "linux-arm", "linux-musl-x64",
            "osx-arm64", "osx-x64",
        };

        /// <summary>Files one service registration with the machine's DNS-SD responder.</summary>
        /// <param name="name">Service instance name, such as "Kitchen Printer". Null lets the
        /// responder choose (Avahi uses the host name); Avahi refuses "".</param>
        /// <param name="regtype">Service type, such as "_http._tcp".</param>
        /// <param name="domain">Registration domain. Null or "." means the default domain
        /// (normally local.).</param>
        /// <param name="port">The service's port, 0 to 65535.</param>
        /// <returns>
        /// True when the responder accepted the request. Publication then follows
        /// asynchronously (probing takes about 0.75 s); a later error or a name conflict is not
        /// reported back, and the registration stays in force until the process ends: there is
        /// no way to withdraw it. False when the request was refused (a bad type, an over-long
        /// name, a name this responder already holds for another registration), when the
        /// responder could not be reached, or where no responder is there at all. On Windows 10
        /// and later without the DNS-SD service the module registers through Windows' own DNS-SD
        /// (dnsapi.dll), so there false means a refused request, not a missing service.
        /// </returns>
        /// <remarks>The call blocks until the responder answers; calls from several threads are
        /// serialised. Strings go to the responder as UTF-8.</remarks>
        /// <exception cref="ArgumentException"><paramref name="name"/>,
        /// <paramref name="regtype"/> or <paramref name="domain"/> holds a NUL character (which
        /// would cut the text short) or a lone UTF-16 surrogate (which has no UTF-8 form).</exception>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="port"/> is outside 0 to
        /// 65535.</exception>
        /// <exception cref="PlatformNotSupportedException">The native module for this runtime
        /// could not be loaded: the package carries none for it, or it was not deployed beside the
        /// application.</exception>
        public static bool RegisterService(string? name, string? regtype, string? domain, int port)
        {
            if (port < 0 || port > 65535)
            {
                throw new ArgumentOutOfRangeException(nameof(port), port, "A port is 0 to 65535.");
            }
            try
            {
                return Register(name, regtype, domain, port);
            }
            catch (DllNotFoundException e)
            {
                throw Unsupported(e);
            }
            catch (BadImageFormatException e)
            {
                throw Unsupported(e);
            }
        }

        private static ArgumentException Nul(string parameter, int index) => new ArgumentException(
            $"The text holds a NUL character at index {index}, which would cut it short.", parameter);

        private static ArgumentException LoneSurrogate(string parameter, int index) => new ArgumentException(
            $"The text holds a lone UTF-16 surrogate at index {index}, which has no UTF-8 form.", parameter);

        private static PlatformNotSupportedException Unsupported(Exception e)
        {
            string rid = RuntimeIdentifier();
            string message = Array.IndexOf(Carried, rid) >= 0
                ? $"The native module QuivaneDll for {rid} could not be loaded: it belongs beside the application (or in runtimes/{rid}/native) and was not found there. {e.Message}"
                : $"QuivaneDll has no native module for {rid}; the package carries {string.Join(", ", Carried)}.";
            return new PlatformNotSupportedException(message, e);
        }

#if NET
        private static string RuntimeIdentifier() => RuntimeInformation.RuntimeIdentifier;

        // Names that fit are encoded on the stack, so a call allocates nothing.
        private const int StackBytes = 256;

        [SkipLocalsInit]
        private static unsafe bool Register(string? name, string? regtype, string? domain, int port)
        {
            Span<byte> n = Utf8(name, nameof(name), stackalloc byte[StackBytes]);
            Span<byte> t = Utf8(regtype, nameof(regtype), stackalloc byte[StackBytes]);
            // The native side rewrites a "." domain in place, so it gets a writable copy.
            Span<byte> d = Utf8(domain, nameof(domain), stackalloc byte[StackBytes]);
            fixed (byte* pn = n, pt = t, pd = d)
            {
                return RegisterServiceNative(pn, pt, pd, port);
            }
        }

        // NUL-terminated UTF-8 in the buffer (or in a new array when it does not fit); empty for
        // null, which pins as a null pointer. Text the encoder would change is refused: a NUL
        // would cut it short, a lone surrogate has no UTF-8 form. ASCII, the usual case, takes
        // the vectorised narrowing; only U+0000 encodes to a zero byte, so one byte scan finds NULs.
        private static Span<byte> Utf8(string? text, string parameter, Span<byte> buffer)
        {
            if (text == null)
            {
                return default;
            }
            int written;
            if (text.Length >= buffer.Length
                || System.Text.Ascii.FromUtf16(text, buffer.Slice(0, text.Length), out written) != OperationStatus.Done)
            {
                OperationStatus status = System.Text.Unicode.Utf8.FromUtf16(
                    text, buffer.Slice(0, buffer.Length - 1), out int read, out written, replaceInvalidSequences: false);
                if (status == OperationStatus.DestinationTooSmall)
                {
                    buffer = new byte[text.Length * 3 + 1];
                    status = System.Text.Unicode.Utf8.FromUtf16(
                        text, buffer, out read, out written, replaceInvalidSequences: false);
                }
                if (status != OperationStatus.Done)
                {
                    throw LoneSurrogate(parameter, read);
                }
            }
            if (buffer.Slice(0, written).IndexOf((byte)0) >= 0)
            {
                throw Nul(parameter, text.IndexOf('\0'));
            }
            buffer[written] = 0;
            return buffer.Slice(0, written + 1);
        }

        [LibraryImport(Module, EntryPoint = "RegisterService")]
        [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
        [return: MarshalAs(UnmanagedType.U1)]
        private static unsafe partial bool RegisterServiceNative(byte* name, byte* regtype, byte* domain, int port);
#else
        private static string RuntimeIdentifier()
        {
            string os = RuntimeInformation.IsOSPlatform(OSPlatform.Windows) ? "win"
                : RuntimeInformation.IsOSPlatform(OSPlatform.Linux) ? "linux"
                : RuntimeInformation.IsOSPlatform(OSPlatform.OSX) ? "osx" : "unknown";
            return os + "-" + RuntimeInformation.ProcessArchitecture.ToString().ToLowerInvariant();
        }

        private static bool Register(string? name, string? regtype, string? domain, int port)
        {
            byte[]? n = Utf8(name, nameof(name));
            byte[]? t = Utf8(regtype, nameof(regtype));
            byte[]? d = Utf8(domain, nameof(domain));
            return RegisterServiceNative(n, t, d, port);
        }

        // NUL-terminated UTF-8, pinned and passed as a writable buffer. Text the encoder would
        // change is refused: a NUL would cut it short, a lone surrogate has no UTF-8 form.
        private static byte[]? Utf8(string? text, string parameter)
        {
            if (text == null)
            {
                return null;
            }
            for (int i = 0; i < text.Length; i++)
            {
                char c = text[i];
                if (c == '\0')
                {
                    throw Nul(parameter, i);
                }
                if (char.IsHighSurrogate(c) && i + 1 < text.Length && char.IsLowSurrogate(text[i + 1]))
                {
                    i++;
                }
                else if (char.IsSurrogate(c))
                {
                    throw LoneSurrogate(parameter, i);
                }
            }
            byte[] bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        // Without U1 the runtime reads a four-byte BOOL, and a false can read as true.
        [DllImport(Module, EntryPoint = "RegisterService", CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        private static extern bool RegisterServiceNative(byte[]? name, byte[]? regtype, byte[]? domain, int port);
#endif
    }
}
