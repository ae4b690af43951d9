// Message boxes: there is no desktop to show them on, so the caption and the
// text go to standard error as one line, and the answer is always OK.
#include <windows.h>

#include <string>
#include <unistd.h>

extern "C" int MessageBoxA(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT /*uType*/) {
    const std::string line =
        std::string("[MessageBox] ") + (lpCaption ? lpCaption : "Error") + ": " + (lpText ? lpText : "") + "\n";
    // One write, so that the line is not interleaved with other output.
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    return IDOK;
}
