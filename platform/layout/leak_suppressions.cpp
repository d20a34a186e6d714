// Fontconfig keeps the pointers inside its patterns and caches as encoded
// offsets, which the leak checker of sanitizer builds cannot follow: every
// program that lays out text with pango would be reported as leaking the
// font configuration it is still using. The checker asks every loaded
// library for its suppressions through this hook; this library is where
// the font machinery enters, so the list lives here. Only one definition of
// the hook takes effect in a process: add further entries to this list
// rather than defining the hook again.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
