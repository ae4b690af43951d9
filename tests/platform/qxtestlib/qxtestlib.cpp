// A tiny shared library that the library-loading tests load as
// "qxtestlib.dll" (libqxtestlib.so on POSIX hosts).
#ifdef _WIN32
#define QXTESTLIB_EXPORT extern "C" __declspec(dllexport)
#else
#define QXTESTLIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QXTESTLIB_EXPORT int qxtestlibTwice(int value) {
    return 2 * value;
}
