// Runs the C# declarations of docs/windows.md, compiled beside this file from the
// page's own text, under Mono against libtavrin.so.1: the .config file
// beside the program maps each 64-bit decorated name of Tavrin.dll onto the
// function the Linux library exports. The cases go through the page's
// string wrappers (GBK conversion, the 64-bit branch) and through the
// declarations themselves: the one-byte bool, the byte arrays, the [Out]
// buffer with guard bytes around what the call may write, and Cdecl.
using System;
using System.Reflection;
using System.Text;

static class ReadmeDeclarationsTest
{
    static int failures;

    static void Expect(bool ok, string what)
    {
        if (ok) return;
        Console.Error.WriteLine("FAILED: " + what);
        failures++;
    }

    static object Call(string name, params object[] args)
    {
        MethodInfo method = typeof(Tavrin).GetMethod(name, BindingFlags.NonPublic | BindingFlags.Static);
        return method.Invoke(null, args);
    }

    static byte[] Bytes(string ascii) { return Encoding.ASCII.GetBytes(ascii + "\0"); }

    static int Main()
    {
        Expect(Environment.Is64BitProcess, "a 64-bit process, so the 64-bit names are the ones called");

        // The string wrappers: text, IsValid, and what Filtrate returns.
        var texts = new[] {
            new { Text = "hello world", Valid = true },
            new { Text = "", Valid = true },
            new { Text = "sh1t", Valid = true },
            new { Text = "SHIT happens", Valid = false },
            new { Text = "Essex", Valid = false },
            new { Text = "x.Cn", Valid = false },
            new { Text = "比这", Valid = false },  // GBK B1 C8 D5 E2 holds 日, C8 D5
            new { Text = "这个方案很好", Valid = true },
            new { Text = "clean\0but Essex", Valid = false },  // screened past U+0000
            new { Text = "clean\0and clean", Valid = true },
        };
        foreach (var c in texts)
        {
            string shown = c.Text.Replace("\0", "\\0");
            Expect(Tavrin.IsValid(c.Text) == c.Valid, "IsValid(\"" + shown + "\") is " + c.Valid);
            Expect(Tavrin.Filtrate(c.Text) == (c.Valid ? c.Text : "***<br>"),
                   "Filtrate(\"" + shown + "\") gives " + (c.Valid ? "the text" : "***<br>"));
        }

        // Filtrate64 into a 20-byte buffer of 'x' bytes: exactly the bytes
        // the call may write change, and the bool says which answer it is.
        var calls = new[] {
            new { In = "sex", OutSize = 19u, Result = true, Written = "***<br>\0" },
            new { In = "fine", OutSize = 19u, Result = false, Written = "fine\0" },
            new { In = "hello", OutSize = 5u, Result = false, Written = "hello\0" },
            new { In = "hello", OutSize = 4u, Result = false, Written = "" },   // too long
            new { In = "fuck", OutSize = 3u, Result = false, Written = "" },    // too long
            new { In = "fuck", OutSize = 7u, Result = true, Written = "***<br>\0" },
        };
        foreach (var c in calls)
        {
            byte[] output = Encoding.ASCII.GetBytes(new string('x', 20));
            bool result = (bool)Call("Filtrate64", output, c.OutSize, Bytes(c.In));
            string what = "Filtrate64(buf, " + c.OutSize + ", \"" + c.In + "\")";
            Expect(result == c.Result, what + " returns " + c.Result);
            string expected = c.Written + new string('x', 20 - c.Written.Length);
            Expect(Encoding.ASCII.GetString(output) == expected,
                   what + " leaves \"" + expected.Replace("\0", "\\0") + "\", not \"" +
                   Encoding.ASCII.GetString(output).Replace("\0", "\\0") + "\"");
        }
        Expect(!(bool)Call("IsValid64", new byte[] { 0xB1, 0xC8, 0xD5, 0xE2, 0 }), "IsValid64(GBK 比这) is false");
        Expect((bool)Call("IsValid64", Bytes("hello")), "IsValid64(\"hello\") is true");

        Console.WriteLine(failures == 0 ? "README declarations: every case passed" : failures + " cases failed");
        return failures == 0 ? 0 : 1;
    }
}
