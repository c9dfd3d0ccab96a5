// tavrin-c: a C# host of Tavrin's C interface (include/tavrin_c.h) through
// P/Invoke. It screens each of its arguments and prints the verdict and every
// row found, with the byte offset of the row's first occurrence in the GBK
// bytes screened. Exit status: 0 every argument clean, 1 one banned, 2 one
// that could not be screened (never reported clean).
//
//   mcs -out:tavrin-c.exe TavrinC.cs
//   mono tavrin-c.exe "hello world" "Meet me in Essex" "这个方案比这个好"
//
// The strings go to the library as UTF-8, which it converts to GBK itself,
// so no code-page support is needed on the C# side. Every type is the same
// width on Linux and Windows (unsigned is 32 bits, size_t is UIntPtr), so
// Library is the only line that names a system: the C interface is in
// libtavrin.so.1. (Tavrin.dll, the Windows module, exports only the two C++
// functions; for it, use the declarations in docs/windows.md.)
using System;
using System.Runtime.InteropServices;
using System.Text;

static class TavrinC
{
    const string Library = "libtavrin.so.1";

    [StructLayout(LayoutKind.Sequential)]
    struct Match
    {
        public uint Row;         // 1 to 54
        public UIntPtr Offset;   // of the row's first occurrence
    }

    // What tavrin_find_utf8 returns for a text it cannot screen.
    static readonly UIntPtr FindFailed = UIntPtr.Subtract(UIntPtr.Zero, 1);

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    static extern UIntPtr tavrin_find_utf8(byte[] text, UIntPtr length,
                                           [Out] Match[] matches, UIntPtr capacity);

    [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
    static extern IntPtr tavrin_version();

    static int Main(string[] args)
    {
        Console.WriteLine("Tavrin " + Marshal.PtrToStringAnsi(tavrin_version()));
        int status = 0;
        var matches = new Match[54];  // every row at most once
        foreach (string arg in args)
        {
            // Texts go in with their length: a U+0000 in the string is
            // screened like any other character.
            byte[] text = Encoding.UTF8.GetBytes(arg);
            UIntPtr found = tavrin_find_utf8(text, (UIntPtr)text.Length,
                                             matches, (UIntPtr)matches.Length);
            var line = new StringBuilder(arg + ": ");
            if (found == FindFailed)
            {
                line.Append("error: cannot be screened");
                status = 2;
            }
            else if (found == UIntPtr.Zero)
            {
                line.Append("clean");
            }
            else
            {
                line.Append("banned:");
                int shown = (int)Math.Min(found.ToUInt64(), (ulong)matches.Length);
                for (int i = 0; i < shown; i++)
                    line.Append((i == 0 ? " row " : ", row ") + matches[i].Row +
                                " at byte " + matches[i].Offset);
                status = Math.Max(status, 1);
            }
            Console.WriteLine(line);
        }
        return status;
    }
}
