// Linked into every program of the sanitizer build: allocations that system libraries keep for
// the life of the process are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libdbus-1.so\n";
}
